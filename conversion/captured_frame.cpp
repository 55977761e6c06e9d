#include "conversion/captured_frame.h"

#include "conversion/frame_devices.h"

namespace conversion {

namespace {

// The request of the frame before, when this frame may answer it: same slave, same code.
std::optional<modbus::PrecedingRequest> RequestOf(const modbus::FrameHead& head,
                                                  const DecodedFrame* before) {
    const modbus::FunctionCode code = modbus::CodeOf(head.function);
    if (before == nullptr || !before->head || before->head->slave != head.slave ||
        before->head->function != static_cast<std::uint8_t>(code)) {
        return std::nullopt;
    }
    for (const auto& reading : before->readings) {
        if (reading.role == modbus::FrameRole::Request && reading.range) {
            return modbus::PrecedingRequest{*reading.range, before->head->checksum_ok(),
                                            AnswerSizeFixed(code, *reading.range)};
        }
    }
    return std::nullopt;
}

}  // namespace

DecodedFrame DecodeFrame(std::string_view text, const DecodedFrame* before) {
    DecodedFrame frame;
    auto framed = modbus::ReadFrameText(text);
    if (auto* fault = std::get_if<modbus::FrameFault>(&framed)) {
        frame.error = std::move(*fault);
        return frame;
    }
    auto& [head, bytes] = std::get<modbus::FramedBytes>(framed);
    frame.head = head;
    frame.bytes = std::move(bytes);
    frame.error = modbus::ChecksumFault(head);

    const auto request = RequestOf(head, before);
    modbus::FrameData shape = modbus::ReadFrameData(
        head.function, std::span(frame.bytes).subspan(2), request ? &*request : nullptr);
    frame.readings.reserve(shape.readings.size());
    for (auto& reading : shape.readings) {
        frame.readings.push_back(NameDevices(modbus::CodeOf(head.function), std::move(reading)));
    }
    if (!shape.message.empty()) {
        if (frame.error) {
            frame.error->message.append("; ").append(shape.message);
        } else {
            frame.error = modbus::FrameFault{modbus::FrameError::BadShape, std::move(shape.message),
                                             std::nullopt};
        }
    }
    return frame;
}

}  // namespace conversion
