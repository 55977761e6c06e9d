#include "taglist/csv_reader.h"

#include "taglist/block_masks.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

namespace taglist {

namespace {

constexpr std::array<char, 3> kDelimiters = {',', ';', '\t'};

bool IsBlankOf(std::string_view text, char delimiter) {
    return std::all_of(text.begin(), text.end(),
                       [&](char c) { return c == delimiter || c == ' ' || c == '\t'; });
}

// The quoting rules, read as spreadsheets read them: a quote opens a quoted field only at the start
// of a field; inside, a doubled quote stands for one and any other quote closes the field;
// separators and line breaks inside quotes are data; text after the closing quote is kept as it
// stands, and a quote anywhere else is data.
//
// A record is read from its start, each call going on from where the last stopped, so that one
// that runs over several lines is read once. A field's content comes out as pieces of the record:
// one for most fields, more only around a doubled quote or after a closing quote.
class FieldReader {
  public:
    // Stops early (see Read) once field `last_field`, counting from 0, has begun.
    explicit FieldReader(char delimiter, std::size_t last_field = SIZE_MAX)
        : delimiter_(delimiter), last_field_(last_field) {}

    // Reads `record`, the text read before and perhaps more, on from where the last call stopped,
    // handing each piece to on_piece(field, begin, end) as offsets into `record`. True when the
    // record is whole: no quote is open at its end, or the last field wanted has begun and no quote
    // follows to open one. `record` is made of whole lines, so a quote at its end closes.
    template <typename OnPiece>
    bool Read(std::string_view record, OnPiece&& on_piece) {
        // Kept in locals while reading: on_piece writes through references the compiler cannot
        // tell from these members.
        const char* const text = record.data();
        const std::size_t size = record.size();
        const char delimiter = delimiter_;
        std::size_t pos = pos_;
        std::size_t field = field_;
        bool quoted = quoted_;
        bool field_start = field_start_;
        const auto find = [&](char c) {
            const void* found = pos == size ? nullptr : std::memchr(text + pos, c, size - pos);
            return found == nullptr
                       ? size
                       : static_cast<std::size_t>(static_cast<const char*>(found) - text);
        };
        for (;;) {
            if (quoted) {
                const std::size_t quote = find('"');
                if (quote == size) {
                    on_piece(field, pos, size);
                    pos = size;
                    break;
                }
                const bool doubled = quote + 1 < size && text[quote + 1] == '"';
                on_piece(field, pos, doubled ? quote + 1 : quote);
                pos = doubled ? quote + 2 : quote + 1;
                quoted = doubled;
                continue;
            }
            if (field_start && pos < size && text[pos] == '"') {
                quoted = true;
                field_start = false;
                ++pos;
                continue;
            }
            const std::size_t separator = find(delimiter);
            on_piece(field, pos, separator);
            if (separator == size) {
                pos = size;
                break;
            }
            pos = separator + 1;
            ++field;
            field_start = true;
            if (field >= last_field_ && find('"') == size) {
                break;
            }
        }
        pos_ = pos;
        field_ = field;
        quoted_ = quoted;
        field_start_ = field_start;
        return !quoted;
    }

    // The fields begun so far.
    std::size_t fields() const { return field_ + 1; }

  private:
    char delimiter_;
    std::size_t last_field_;
    std::size_t pos_ = 0;
    std::size_t field_ = 0;
    bool field_start_ = true;
    bool quoted_ = false;
};

// The item's pieces: viewed in the record while they follow one another, which they do unless a
// doubled quote or text after the closing quote comes between, else put together in `storage`.
class ItemPieces {
  public:
    ItemPieces(std::size_t column, std::string& storage) : column_(column), storage_(storage) {}

    void Take(std::string_view record, std::size_t field, std::size_t begin, std::size_t end) {
        if (field != column_ || begin == end) {
            return;
        }
        if (!any_) {
            any_ = true;
            begin_ = begin;
        } else if (joined_ || begin != end_) {
            if (!joined_) {
                joined_ = true;
                storage_.assign(record.substr(begin_, end_ - begin_));
            }
            storage_.append(record.substr(begin, end - begin));
        }
        end_ = end;
    }

    std::string_view Item(std::string_view record) const {
        if (joined_) {
            return storage_;
        }
        return any_ ? record.substr(begin_, end_ - begin_) : std::string_view{};
    }

  private:
    std::size_t column_;
    std::string& storage_;
    bool any_ = false;
    bool joined_ = false;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

// Counts the candidates outside quotes in the first record of `text` that is not blank; whether
// that record ends in `text`. Where a field starts depends on the separator, which is what is being
// looked for, so quotes are taken here as pairs, not read by the rules above; for a list quoted as
// those rules read it, pairs fall where they do.
bool CountDelimiters(std::string_view text, std::array<std::size_t, kDelimiters.size()>& counts) {
    bool quoted = false;
    bool content = false;
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted;  // a doubled quote closes and opens again
            content = true;
        } else if (quoted) {
            continue;
        } else if (c == '\n') {
            if (content) {
                return true;
            }
            counts = {};
        } else if (const auto* found = std::find(kDelimiters.begin(), kDelimiters.end(), c);
                   found != kDelimiters.end()) {
            ++counts[static_cast<std::size_t>(found - kDelimiters.begin())];
        } else if (c != ' ' && c != '\r') {
            content = true;
        }
    }
    return false;
}

}  // namespace

CsvReader::CsvReader(Input input, std::size_t column, char delimiter)
    : lines_(std::move(input)), column_(column), delimiter_(delimiter) {}

// Reads ahead until the first record that is not blank is whole (or a chunk is full, or the input
// ends), then takes the candidate that stands most often outside quotes in it.
void CsvReader::FindDelimiter() {
    std::array<std::size_t, kDelimiters.size()> counts{};
    lines_.ReadAhead([&](std::string_view text) {
        counts = {};
        return CountDelimiters(text, counts);
    });
    const auto most = std::max_element(counts.begin(), counts.end());  // the first on a tie
    delimiter_ = kDelimiters[static_cast<std::size_t>(most - counts.begin())];
}

bool CsvReader::Next(CsvRecord& record) {
    if (delimiter_ == kFindDelimiter) {
        FindDelimiter();
    }
    Line line;
    if (!lines_.Next(line)) {
        return false;
    }
    record.line = lines_.line_number();
    // Past the item and as many fields as the caller wants, only a quote could make the record go
    // on: a row that is not short need not be read to its end.
    const std::size_t last_field =
        enough_fields_ == SIZE_MAX ? SIZE_MAX : std::max(column_ + 1, enough_fields_ - 1);
    // Most tag lists quote nothing, or only a comment after the item: the fields up to the item
    // are split at every separator without the field reader, which reads only what follows a quote
    // there, to see that the record ends on this line. A line put together from two reads goes the
    // long way, so that a list read in small pieces (as the tests read theirs) checks this shortcut
    // against the field reader.
    if (line.joined || !SplitPlain(line.text, last_field, record)) {
        ReadQuoted(line, last_field, record);
    }
    record.has_item = column_ < record.fields;
    // Only a blank item can sit in a blank record: the test costs next to nothing on the others.
    record.blank = IsBlankOf(record.item, delimiter_) && IsBlankOf(record.raw, delimiter_);
    return true;
}

bool CsvReader::SplitPlain(std::string_view line, std::size_t last_field, CsvRecord& record) const {
    const char* const begin = line.data();
    const char* const end = begin + line.size();
    const char* field_begin = begin;
    const char* item_begin = column_ == 0 ? begin : nullptr;
    const char* item_end = nullptr;
    const char* quote = nullptr;
    std::size_t field = 0;
    // The line 16 bytes at a time from the block its first byte stands in, each block's bits
    // outside the line cleared; the separators in order until the last field wanted begins or a
    // quote comes first.
    const auto first = reinterpret_cast<std::uintptr_t>(begin);
    const char* block = begin - (first % kBlockBytes);
    std::uint32_t inside = ~std::uint32_t{0} << (first % kBlockBytes);
    for (; block < end && quote == nullptr; block += kBlockBytes, inside = ~std::uint32_t{0}) {
        if (end - block < static_cast<std::ptrdiff_t>(kBlockBytes)) {
            inside &= (std::uint32_t{1} << (end - block)) - 1;
        }
        auto [separators, quotes] = MasksOf(block, delimiter_);
        separators &= inside;
        quotes &= inside;
        if (quotes != 0) {
            quote = block + std::countr_zero(quotes);
            separators &= (std::uint32_t{1} << std::countr_zero(quotes)) - 1;
        }
        for (; separators != 0 && field < last_field; separators &= separators - 1) {
            const char* separator = block + std::countr_zero(separators);
            if (field == column_) {
                item_end = separator;
            }
            field_begin = separator + 1;
            if (++field == column_) {
                item_begin = field_begin;
            }
        }
        if (field >= last_field) {
            break;
        }
    }
    if (quote == nullptr && block + kBlockBytes < end) {
        // Only whether a quote follows matters from here on.
        quote = static_cast<const char*>(std::memchr(
            block + kBlockBytes, '"', static_cast<std::size_t>(end - (block + kBlockBytes))));
    }
    if (quote != nullptr) {
        // A quote before the last field wanted begins is the field reader's; one past it stands
        // in a field after the item, whose fields stand as split if the quoting rules close the
        // record on this line.
        if (field < last_field || quote < field_begin) {
            return false;
        }
        // The commonest case, a last field quoted whole with no quote inside, needs no more.
        const bool quoted_to_end =
            quote == field_begin && end - quote >= 2 && end[-1] == '"' &&
            std::memchr(quote + 1, '"', static_cast<std::size_t>(end - quote - 2)) == nullptr;
        if (!quoted_to_end && !FieldReader(delimiter_, 1)
                                   .Read(line.substr(static_cast<std::size_t>(field_begin - begin)),
                                         [](std::size_t, std::size_t, std::size_t) {})) {
            return false;
        }
    }
    record.raw = line;
    record.item =
        item_begin == nullptr
            ? std::string_view{}
            : std::string_view(item_begin,
                               static_cast<std::size_t>((item_end ? item_end : end) - item_begin));
    record.unclosed_quote = false;
    record.fields = field + 1;
    return true;
}

void CsvReader::ReadQuoted(Line line, std::size_t last_field, CsvRecord& record) {
    FieldReader fields(delimiter_, last_field);
    ItemPieces item(column_, record.item_storage);
    std::string_view text = line.text;
    const auto take = [&](std::size_t field, std::size_t begin, std::size_t end) {
        item.Take(text, field, begin, end);
    };
    bool whole = fields.Read(text, take);
    if (!whole) {
        // A line break inside quotes: the record goes on over the next lines, put together here,
        // its line breaks kept as they stand. It ends, unclosed, where the input does.
        record.raw_storage.assign(line.text);
        for (bool more = true; !whole && more;) {
            record.raw_storage += line.end;
            more = !line.end.empty() && lines_.Next(line);
            if (more) {
                record.raw_storage += line.text;
            }
            text = record.raw_storage;
            whole = fields.Read(text, take);
        }
    }
    record.raw = text;
    record.item = item.Item(text);
    record.unclosed_quote = !whole;
    record.fields = fields.fields();
}

std::vector<std::string> SplitFields(std::string_view raw, char delimiter) {
    FieldReader reader(delimiter);
    std::vector<std::string> fields(1);
    reader.Read(raw, [&](std::size_t field, std::size_t begin, std::size_t end) {
        if (fields.size() <= field) {
            fields.resize(field + 1);
        }
        fields[field].append(raw.substr(begin, end - begin));
    });
    return fields;
}

}  // namespace taglist
