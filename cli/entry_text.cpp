#include "cli/entry_text.h"

#include <charconv>

namespace lookup {

namespace {

// Writes "[1,2]"; the buffer holds the longest list of the map, two two-digit codes.
std::size_t WriteCodes(std::span<const std::uint8_t> codes, std::array<char, 16>& buffer) {
    char* out = buffer.data();
    *out++ = '[';
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (i > 0) {
            *out++ = ',';
        }
        out = std::to_chars(out, buffer.data() + buffer.size(), codes[i]).ptr;
    }
    *out++ = ']';
    return static_cast<std::size_t>(out - buffer.data());
}

}  // namespace

EntryText::EntryText(const conversion::MapEntry& entry)
    : entry_(entry), device_(conversion::DeviceName(entry.device)) {
    constexpr char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < address_.size(); ++i) {
        address_[address_.size() - 1 - i] = kHex[(entry.address >> (4 * i)) & 0xFu];
    }
    std::uint32_t reference = conversion::ReferenceOf(entry.table, entry.address);
    for (std::size_t i = reference_.size(); i-- > 0; reference /= 10) {
        reference_[i] = static_cast<char>('0' + reference % 10);
    }
    decimal_size_ = static_cast<std::size_t>(
        std::to_chars(decimal_.data(), decimal_.data() + decimal_.size(), entry.address).ptr -
        decimal_.data());
    read_size_ = WriteCodes(conversion::ReadCodes(entry.table), read_);
    write_size_ = WriteCodes(conversion::WriteCodes(entry.table), write_);
}

std::array<std::string_view, 8> EntryText::Cells() const {
    return {device_,
            conversion::TableName(entry_.table),
            std::string_view(address_.data(), address_.size()),
            std::string_view(decimal_.data(), decimal_size_),
            std::string_view(reference_.data(), reference_.size()),
            conversion::WidthName(entry_.width),
            std::string_view(read_.data(), read_size_),
            std::string_view(write_.data(), write_size_)};
}

}  // namespace lookup
