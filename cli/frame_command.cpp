#include "cli/frame_command.h"

#include <nlohmann/json.hpp>
#include <variant>
#include <vector>

#include "console/json_text.h"

#include "conversion/captured_frame.h"
#include "conversion/device_map.h"
#include "taglist/line_reader.h"

namespace cli {

namespace {

using conversion::DecodedFrame;
using conversion::FrameReading;
using modbus::RawBytes;

constexpr std::size_t kFlushSize = 1 << 16;

// "Y0=1 Y1=0", "1 0 1" when the devices are not known, "C200=[00 01 86 A0]" for raw bytes.
std::string ValuesText(const FrameReading& reading) {
    std::string text;
    for (const auto& value : reading.values) {
        if (!text.empty()) {
            text += ' ';
        }
        if (!value.device.empty()) {
            text.append(value.device).append("=");
        }
        if (const auto* raw = std::get_if<RawBytes>(&value.value)) {
            text.append("[").append(raw->hex).append("]");
        } else {
            text += std::to_string(
                conversion::HeldNumber(value.segment, std::get<std::uint16_t>(value.value)));
        }
    }
    return text;
}

// The code the frame's function byte names: an exception response answers that code.
int CodeNumber(const modbus::FrameHead& head) {
    return static_cast<int>(modbus::CodeOf(head.function));
}

std::string_view RoleText(const FrameReading& reading) {
    return reading.role ? modbus::RoleName(*reading.role) : std::string_view();
}

std::string_view ErrorText(const DecodedFrame& frame) {
    return frame.error ? std::string_view(frame.error->message) : std::string_view();
}

std::vector<std::string> Cells(std::string_view input, const DecodedFrame& frame,
                               const FrameReading* reading) {
    std::vector<std::string> row(kFrameColumnNames.size());
    row[0] = input;
    if (const auto& head = frame.head) {
        row[1] = modbus::ModeName(head->mode);
        row[2] = std::to_string(head->slave);
        row[3] = std::to_string(CodeNumber(*head));
        row[4] = modbus::FunctionName(head->function);
        row[6] = head->checksum_ok() ? "true" : "false";
        row[7] = modbus::ChecksumText(head->mode, head->checksum_expected);
    }
    if (reading != nullptr) {
        row[5] = RoleText(*reading);
        if (const auto& range = reading->range) {
            row[8] = conversion::AddressText(range->address);
            row[9] = std::to_string(range->quantity);
        }
        row[10] = reading->first_device;
        row[11] = reading->last_device;
        row[12] = ValuesText(*reading);
        row[13] = reading->note;
    }
    row[14] = ErrorText(frame);
    return row;
}

nlohmann::ordered_json OrNull(std::string_view text) {
    return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text);
}

nlohmann::ordered_json Json(std::string_view input, const DecodedFrame& frame,
                            const FrameReading* reading) {
    const auto& head = frame.head;
    nlohmann::ordered_json object;
    object["input"] = input;
    object["mode"] = head ? nlohmann::ordered_json(modbus::ModeName(head->mode)) : nullptr;
    object["slave"] = head ? nlohmann::ordered_json(head->slave) : nullptr;
    object["function"] = head ? nlohmann::ordered_json(CodeNumber(*head)) : nullptr;
    object["function_name"] = head ? OrNull(modbus::FunctionName(head->function)) : nullptr;
    object["role"] = reading ? OrNull(RoleText(*reading)) : nullptr;
    object["checksum_ok"] = head ? nlohmann::ordered_json(head->checksum_ok()) : nullptr;
    object["checksum_expected"] =
        head ? nlohmann::ordered_json(modbus::ChecksumText(head->mode, head->checksum_expected))
             : nullptr;
    const auto* range = reading != nullptr && reading->range ? &*reading->range : nullptr;
    object["address"] =
        range ? nlohmann::ordered_json(conversion::AddressText(range->address)) : nullptr;
    object["quantity"] = range ? nlohmann::ordered_json(range->quantity) : nullptr;
    object["first_device"] = reading ? OrNull(reading->first_device) : nullptr;
    object["last_device"] = reading ? OrNull(reading->last_device) : nullptr;
    auto values = nlohmann::ordered_json::array();
    if (reading != nullptr) {
        for (const auto& value : reading->values) {
            nlohmann::ordered_json item;
            item["device"] = OrNull(value.device);
            if (const auto* raw = std::get_if<RawBytes>(&value.value)) {
                item["raw"] = raw->hex;
            } else {
                item["value"] =
                    conversion::HeldNumber(value.segment, std::get<std::uint16_t>(value.value));
            }
            values.push_back(std::move(item));
        }
    }
    object["values"] = std::move(values);
    object["note"] = reading ? OrNull(reading->note) : nullptr;
    object["error"] = OrNull(ErrorText(frame));
    return object;
}

// Decodes frames one after the other and writes their rows: CSV and JSON as they come, in large
// pieces; a table at the end, when its column widths are known.
class FrameWriter {
  public:
    FrameWriter(Format format, const Sink& out, const Sink& errors)
        : format_(format), out_(out), errors_(errors) {
        if (format_ == Format::Csv) {
            rows_.emplace_back(kFrameColumnNames.begin(), kFrameColumnNames.end());
            Flush(kFlushSize);
        } else if (format_ == Format::Table) {
            rows_.emplace_back(kFrameColumnNames.begin(), kFrameColumnNames.end());
        } else {
            text_ = "[";
        }
    }

    // `where` names the frame in an error line: its line number or its text.
    void Add(std::string_view input, const std::string& where) {
        DecodedFrame frame =
            conversion::DecodeFrame(input, counts_.frames > 0 ? &previous_ : nullptr);
        ++counts_.frames;
        if (!frame.ok()) {
            ++counts_.failed;
            errors_text_.append("zentriq-lookup: ")
                .append(where)
                .append(": ")
                .append(frame.error->message)
                .append("\n");
        }
        if (frame.readings.empty()) {
            Write(input, frame, nullptr);
        }
        for (const auto& reading : frame.readings) {
            Write(input, frame, &reading);
        }
        previous_ = std::move(frame);
        Flush(kFlushSize);
    }

    void InputWaits() { Flush(0, true); }
    bool failed() const { return counts_.output_failed; }

    FrameCounts Finish() {
        if (format_ == Format::Json) {
            text_ += "]\n";
        }
        Flush(0);
        return counts_;
    }

    void Write(std::string_view input, const DecodedFrame& frame, const FrameReading* reading) {
        if (format_ == Format::Json) {
            if (json_objects_++ > 0) {
                text_ += ',';
            }
            text_ += console::JsonText(Json(input, frame, reading));
        } else {
            rows_.push_back(Cells(input, frame, reading));
        }
    }

    // Hands on what has gathered once it reaches `size` bytes (0: all of it). A table waits for
    // the end to align its columns, unless the input waits first (`tail -f`): then the rows so
    // far go out, aligned to the widest cells seen yet.
    void Flush(std::size_t size, bool input_waits = false) {
        if (format_ == Format::Csv) {
            AppendCsvRows(text_, rows_);
            rows_.clear();
        } else if (format_ == Format::Table && (size == 0 || input_waits)) {
            AppendTable(text_, rows_, &widths_);
            rows_.clear();
        }
        if (!errors_text_.empty() && errors_text_.size() >= size) {
            errors_(errors_text_);
            errors_text_.clear();
        }
        if (!text_.empty() && text_.size() >= size) {
            counts_.output_failed = counts_.output_failed || !out_(text_);
            text_.clear();
        }
    }

  private:
    Format format_;
    const Sink& out_;
    const Sink& errors_;
    FrameCounts counts_;
    DecodedFrame previous_;
    std::vector<std::vector<std::string>> rows_;
    std::string text_;
    std::string errors_text_;
    std::size_t json_objects_ = 0;
    std::vector<std::size_t> widths_;
};

}  // namespace

FrameCounts DecodeFrameTexts(std::span<const std::string> texts, Format format, const Sink& out,
                             const Sink& errors) {
    FrameWriter writer(format, out, errors);
    for (const auto& text : texts) {
        if (writer.failed()) {
            break;
        }
        writer.Add(text, conversion::DisplayText(text));
    }
    return writer.Finish();
}

FrameCounts DecodeFrameLines(taglist::Input input, Format format, const Sink& out,
                             const Sink& errors, bool flush_before_read) {
    FrameWriter writer(format, out, errors);
    taglist::LineReader reader(std::move(input));
    if (flush_before_read) {
        reader.set_before_read([&] { writer.InputWaits(); });
    }
    std::string line;
    while (!writer.failed() && reader.Next(line)) {
        if (line.find_first_not_of(" \t") != std::string::npos) {
            writer.Add(line, "line " + std::to_string(reader.line_number()));
        }
    }
    return writer.Finish();
}

}  // namespace cli
