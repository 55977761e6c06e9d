#include "cli/entry_text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/output.h"
#include "text/ascii_text.h"

namespace cli {

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

// A text copied by a fixed number of bytes (see EntryText::Digits). The texts come from the map
// alone, and all are made for the first entry shown: one too long for the copy is a fault of the
// program that any run finds, and it stops there rather than write cut cells.
struct PaddedText {
    static constexpr std::size_t kCopy = 32;
    std::array<char, 2 * kCopy> text{};
    std::size_t size = 0;

    void Set(const std::string& value) {
        if (value.size() > kCopy) {
            std::fputs(("zentriq-lookup: internal error: a fixed CSV text is longer than " +
                        std::to_string(kCopy) + " bytes: " + value + "\n")
                           .c_str(),
                       stderr);
            std::abort();
        }
        size = value.size();
        std::copy_n(value.data(), size, text.data());
    }
};

// The cells that depend on the segment alone, written once: as shown, and as the CSV text around
// the cells that change from device to device.
struct SegmentTexts {
    std::string read, write;
    PaddedText csv_table;  // ",coil,"
    PaddedText csv_tail;   // ",bit,\"[1,2]\",\"[5,15]\""
};

constexpr std::size_t kTables = 3;

// A segment's texts as seen through `table`: its own table, or, for a bit segment, the discrete
// inputs that function code 02 reads it as.
SegmentTexts TextsFor(const conversion::AddressSegment& segment, conversion::ModbusTable table) {
    SegmentTexts text;
    text.read = ListText(conversion::ReadCodes(table));
    text.write = ListText(conversion::WriteCodes(table));
    std::string table_cell = ",";
    AppendCsvField(table_cell, conversion::TableName(table));
    table_cell += ',';
    text.csv_table.Set(table_cell);
    std::string tail;
    for (const std::string_view cell :
         {conversion::WidthName(segment.width), std::string_view(text.read),
          std::string_view(text.write)}) {
        tail += ',';
        AppendCsvField(tail, cell);
    }
    text.csv_tail.Set(tail);
    return text;
}

const SegmentTexts& TextsOf(const conversion::MapEntry& entry) {
    static const auto texts = [] {
        std::array<SegmentTexts, conversion::kAddressSegments.size() * kTables> all;
        for (std::size_t i = 0; i < all.size(); ++i) {
            all[i] = TextsFor(conversion::kAddressSegments[i / kTables],
                              static_cast<conversion::ModbusTable>(i % kTables));
        }
        return all;
    }();
    const auto segment =
        static_cast<std::size_t>(entry.segment - conversion::kAddressSegments.data());
    return texts[segment * kTables + static_cast<std::size_t>(entry.table)];
}

// Copies Copy bytes from `from` but advances by `size` only; the caller leaves room for the rest.
template <std::size_t Copy>
char* Put(char* out, const char* from, std::size_t size) {
    std::memcpy(out, from, Copy);
    return out + size;
}

}  // namespace

// Writes `value` in `Base` right-aligned to `end`; gives the number of characters written. The
// base is a template argument so that the divisions become multiplications.
template <std::uint32_t Base>
std::size_t WriteDigits(char* end, std::uint32_t value) {
    std::size_t size = 0;
    do {
        *(end - ++size) = text::ascii::kHexDigits[value % Base];
        value /= Base;
    } while (value != 0);
    return size;
}

// The same for exactly `Width` digits, zeros in front: a loop the compiler unrolls.
template <std::uint32_t Base, std::size_t Width>
void WriteFixedDigits(char* end, std::uint32_t value) {
    for (std::size_t i = 1; i <= Width; ++i) {
        *(end - i) = text::ascii::kHexDigits[value % Base];
        value /= Base;
    }
}

EntryText::EntryText(const conversion::MapEntry& entry) : entry_(entry) {
    const char letter = entry.device.letter;
    const bool octal = letter == 'X' || letter == 'Y';
    char* device_end = device_.text.data() + Digits::kEnd;
    device_.size = octal ? WriteDigits<8>(device_end, entry.device.number)
                         : WriteDigits<10>(device_end, entry.device.number);
    *(device_end - ++device_.size) = letter;
    decimal_.size = WriteDigits<10>(decimal_.text.data() + Digits::kEnd, entry.address);
    WriteFixedDigits<16, 4>(address_.data() + address_.size(), entry.address);
    WriteFixedDigits<10, 6>(reference_.data() + reference_.size(),
                            conversion::ReferenceOf(entry.table, entry.address));
}

std::array<std::string_view, 8> EntryText::Cells() const {
    const auto& texts = TextsOf(entry_);
    return {device_.view(),
            conversion::TableName(entry_.table),
            std::string_view(address_.data(), address_.size()),
            decimal_.view(),
            std::string_view(reference_.data(), reference_.size()),
            conversion::WidthName(entry_.width),
            texts.read,
            texts.write};
}

void EntryText::AppendCsv(std::string& out) const {
    const auto& texts = TextsOf(entry_);
    // Built on the stack and appended at once: appending cell by cell costs more than the lookup.
    // Every piece is copied by a fixed size, so the line has room for the longest copy past its
    // end.
    std::array<char, 160> line;
    char* end = line.data();
    *end++ = ',';
    end = Put<Digits::kCopy>(end, device_.view().data(), device_.size);
    end = Put<PaddedText::kCopy>(end, texts.csv_table.text.data(), texts.csv_table.size);
    end = Put<4>(end, address_.data(), address_.size());
    *end++ = ',';
    end = Put<Digits::kCopy>(end, decimal_.view().data(), decimal_.size);
    *end++ = ',';
    end = Put<6>(end, reference_.data(), reference_.size());
    end = Put<PaddedText::kCopy>(end, texts.csv_tail.text.data(), texts.csv_tail.size);
    out.append(line.data(), end);
}

}  // namespace cli
