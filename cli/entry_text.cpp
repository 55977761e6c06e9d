#include "cli/entry_text.h"

#include <charconv>
#include <cstring>

#include "cli/output.h"

namespace lookup {

namespace {

std::string ListText(std::span<const std::uint8_t> codes) {
    std::string text = "[";
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (i > 0) {
            text += ',';
        }
        text += std::to_string(codes[i]);
    }
    text += ']';
    return text;
}

// The cells that depend on the segment alone, written once: as shown, and as the CSV text around
// the cells that change from device to device.
struct SegmentTexts {
    std::string read, write;
    std::string csv_table;  // ",coil,"
    std::string csv_tail;   // ",bit,\"[1,2]\",\"[5,15]\""
};

const SegmentTexts& TextsOf(const conversion::MapEntry& entry) {
    static const auto texts = [] {
        std::array<SegmentTexts, conversion::kAddressSegments.size()> all;
        for (std::size_t i = 0; i < all.size(); ++i) {
            const auto& segment = conversion::kAddressSegments[i];
            auto& text = all[i];
            text.read = ListText(conversion::ReadCodes(segment.table));
            text.write = ListText(conversion::WriteCodes(segment.table));
            text.csv_table += ',';
            AppendCsvField(text.csv_table, conversion::TableName(segment.table));
            text.csv_table += ',';
            for (const std::string_view cell :
                 {conversion::WidthName(segment.width), std::string_view(text.read),
                  std::string_view(text.write)}) {
                text.csv_tail += ',';
                AppendCsvField(text.csv_tail, cell);
            }
        }
        return all;
    }();
    return texts[static_cast<std::size_t>(entry.segment - conversion::kAddressSegments.data())];
}

char* Put(char* out, std::string_view text) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

}  // namespace

// Writes `value` in `base` right-aligned into `buffer`, zero-padded to `width` digits; gives the
// number of characters written.
// The base is a template argument so that the divisions become multiplications.
template <std::uint32_t Base, std::size_t N>
std::size_t WriteDigits(std::array<char, N>& buffer, std::uint32_t value, std::size_t width = 1) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::size_t size = 0;
    do {
        buffer[N - ++size] = kDigits[value % Base];
        value /= Base;
    } while (value != 0 || size < width);
    return size;
}

EntryText::EntryText(const conversion::MapEntry& entry) : entry_(entry) {
    const char letter = entry.device.letter;
    const bool octal = letter == 'X' || letter == 'Y';
    device_size_ = octal ? WriteDigits<8>(device_, entry.device.number)
                         : WriteDigits<10>(device_, entry.device.number);
    device_[device_.size() - ++device_size_] = letter;
    WriteDigits<16>(address_, entry.address, address_.size());
    decimal_size_ = WriteDigits<10>(decimal_, entry.address);
    WriteDigits<10>(reference_, conversion::ReferenceOf(entry.table, entry.address),
                    reference_.size());
}

std::array<std::string_view, 8> EntryText::Cells() const {
    const auto& texts = TextsOf(entry_);
    return {Device(),
            conversion::TableName(entry_.table),
            std::string_view(address_.data(), address_.size()),
            std::string_view(decimal_.end() - decimal_size_, decimal_size_),
            std::string_view(reference_.data(), reference_.size()),
            conversion::WidthName(entry_.width),
            texts.read,
            texts.write};
}

void EntryText::AppendCsv(std::string& out) const {
    const auto& texts = TextsOf(entry_);
    // Built on the stack and appended at once: appending cell by cell costs more than the lookup.
    std::array<char, 128> line;
    char* end = line.data();
    *end++ = ',';
    end = Put(end, Device());
    end = Put(end, texts.csv_table);
    end = Put(end, {address_.data(), address_.size()});
    *end++ = ',';
    end = Put(end, {decimal_.end() - decimal_size_, decimal_size_});
    *end++ = ',';
    end = Put(end, {reference_.data(), reference_.size()});
    end = Put(end, texts.csv_tail);
    out.append(line.data(), end);
}

}  // namespace lookup
