// Property fuzzer for zentriq-lookup's reading: the items and the CSV tag lists.
//
// Input layout: byte 0 picks the column, the header flag and the table asked for, byte 1 the size
// of the pieces in which the list is handed over (so that records are split at every place), the
// rest is the tag list. Aborts with a message when a property fails:
//   - the list read where it lies (as a mapped file is, in stretches of the same size) gives the
//     same output, byte for byte, as the list copied in by pieces;
//   - every input row comes out, in order, as the start of one or more output rows (a blank row as
//     it is), in whatever encoding and with whatever separator the list came;
//   - the output, read back, has exactly the rows the batch says it wrote;
//   - a lookup either finds entries or says why not, never both or neither;
//   - a device found by name is the device at its address in its table.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cli/batch.h"
#include "conversion/device_map.h"
#include "conversion/typed_items.h"
#include "taglist/csv_reader.h"

namespace {

[[noreturn]] void Fail(const char* property, std::string_view detail) {
    std::fprintf(stderr, "PROPERTY FAILED: %s: %s\n", property,
                 conversion::DisplayText(detail).c_str());
    std::abort();
}

taglist::Source PiecesOf(std::string_view text, std::size_t piece) {
    return [text, piece, at = std::size_t{0}](char* buffer, std::size_t size) mutable {
        const std::size_t n = std::min({piece, size, text.size() - at});
        std::copy_n(text.data() + at, n, buffer);
        at += n;
        return n;
    };
}

struct Rows {
    std::vector<std::string> raws;
    char delimiter;
};

Rows Records(std::string_view text, std::size_t piece,
             char delimiter = taglist::CsvReader::kFindDelimiter) {
    taglist::CsvReader reader(PiecesOf(text, piece), 0, delimiter);
    Rows rows;
    taglist::CsvRecord record;
    while (reader.Next(record)) {
        rows.raws.emplace_back(record.raw);
    }
    rows.delimiter = reader.delimiter();
    return rows;
}

// A bare number answered every way it can be meant names the device of one of its readings, and
// no other reading names another device; refused as ambiguous, two readings name different ones.
// Each reading is looked up alone with --numbers, where it is tried as Any would try it.
void CheckBareNumber(std::string_view item, const conversion::LookupResult& result) {
    if (!conversion::IsBareNumber(item)) {
        return;
    }
    const auto first = item.find_first_not_of(" \t");
    const auto last = item.find_last_not_of(" \t");
    const std::string_view text = item.substr(first, last - first + 1);
    const bool all_digits = text.find_first_not_of("0123456789") == std::string_view::npos;
    const bool tried[] = {text.size() <= 4, all_digits && (text.size() == 1 || text[0] != '0'),
                          all_digits && (text.size() == 5 || text.size() == 6)};
    const conversion::BareNumbers modes[] = {conversion::BareNumbers::Hex,
                                             conversion::BareNumbers::Decimal,
                                             conversion::BareNumbers::Reference};
    std::vector<conversion::Device> named;
    for (std::size_t i = 0; i < 3; ++i) {
        const auto one = conversion::LookUp(item, std::nullopt, modes[i]);
        if (tried[i] && one.ok() &&
            std::find(named.begin(), named.end(), one.found()[0].device) == named.end()) {
            named.push_back(one.found()[0].device);
        }
    }
    if (result.ok() && (named.size() != 1 || named[0] != result.found()[0].device)) {
        Fail("a bare number names the device of its only reading that names one", item);
    }
    if (result.error == conversion::LookupError::Ambiguous && named.size() < 2) {
        Fail("a bare number refused as ambiguous has two readings that name devices", item);
    }
}

// A typed item's values are each one device, or two consecutive D registers for a 32-bit type.
void CheckTypedItem(std::string_view item) {
    const auto typed = conversion::ReadTypedItem(item);
    if (typed.ok() ? typed.values.empty() || !typed.message.empty() : typed.message.empty()) {
        Fail("a typed item gives values or says why not", item);
    }
    for (const auto& value : typed.values) {
        if (conversion::IsDoubleWord(value.type) !=
            (value.high && value.entry.device.letter == 'D' && value.high->device.letter == 'D' &&
             value.high->address == value.entry.address + 1 &&
             value.high->device.number == value.entry.device.number + 1)) {
            Fail("a 32-bit value stands in two consecutive D registers", item);
        }
    }
}

void CheckLookUp(std::string_view item) {
    const auto result = conversion::LookUp(item);
    if (result.ok() != !result.found().empty() || result.ok() == !result.message.empty()) {
        Fail("a lookup finds entries or says why not", item);
    }
    for (const auto& entry : result.found()) {
        const auto back = conversion::DevicesAt(entry.address, entry.table);
        if (back.found().size() != 1 || back.found()[0].device != entry.device) {
            Fail("a device maps back to itself by address", item);
        }
    }
    CheckBareNumber(item, result);
    CheckTypedItem(item);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::string_view list(reinterpret_cast<const char*>(data + 2), size - 2);
    cli::BatchOptions options;
    options.column = data[0] % 4;
    options.header = (data[0] & 4) != 0;
    if ((data[0] & 8) != 0) {
        options.table = static_cast<conversion::ModbusTable>((data[0] >> 4) % 3);
    }
    const std::size_t piece = 1 + data[1] % 97;

    CheckLookUp(list.substr(0, list.find('\n')));

    std::string out;
    const auto writer = cli::CsvBatchWriter([&](std::string_view text) {
        out += text;
        return true;
    });
    const auto counts = cli::RunBatch(
        PiecesOf(list, piece), *writer, [](std::string_view) { return true; }, options);

    // Where it lies, with room around it as a mapped file's pages give for the block reads.
    const std::string room = std::string(16, '\0') + std::string(list) + std::string(16, '\0');
    std::string mapped_out;
    const auto mapped_writer = cli::CsvBatchWriter([&](std::string_view text) {
        mapped_out += text;
        return true;
    });
    cli::RunBatch(
        taglist::MappedBytes{room.data() + 16,
                             [&](std::size_t& readable) {
                                 readable = std::min(list.size(), readable + piece);
                                 return true;
                             }},
        *mapped_writer, [](std::string_view) { return true; }, options);
    if (mapped_out != out) {
        Fail("the list read where it lies gives the same output", list);
    }

    const auto inputs = Records(list, piece);
    const auto outputs = Records(out, 4096, inputs.delimiter);
    if (counts.rows != inputs.raws.size() || counts.written != outputs.raws.size()) {
        Fail("the counts match the rows read and written", list);
    }
    std::size_t next = 0;  // the input row that the next output row may start
    for (const auto& row : outputs.raws) {
        const auto starts = [&](std::size_t i) {
            if (i >= inputs.raws.size()) {
                return false;
            }
            const std::string& input = inputs.raws[i];
            return row == input || (row.size() > input.size() && row.starts_with(input) &&
                                    row[input.size()] == inputs.delimiter);
        };
        if (starts(next)) {
            ++next;
        } else if (next == 0 || !starts(next - 1)) {
            Fail("every row comes out in order", list);
        }
    }
    if (next != inputs.raws.size()) {
        Fail("every row comes out", list);
    }
    return 0;
}
