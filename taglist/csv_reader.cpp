#include "taglist/csv_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace taglist {

namespace {

constexpr std::size_t kChunkSize = 1 << 16;
constexpr std::array<char, 3> kDelimiters = {',', ';', '\t'};

bool IsBlankOf(std::string_view text, char delimiter) {
    return std::all_of(text.begin(), text.end(),
                       [&](char c) { return c == delimiter || c == ' ' || c == '\t'; });
}

// Puts together a record that cannot be viewed in place, one byte at a time.
class RecordBuilder {
  public:
    enum class Step { More, LineInQuotes, End };

    RecordBuilder(CsvRecord& record, std::size_t column, char delimiter, std::size_t line)
        : record_(record), column_(column), delimiter_(delimiter) {
        record_.raw_storage.clear();
        record_.item_storage.clear();
        record_.has_item = column == 0;
        record_.unclosed_quote = false;
        record_.fields = 1;
        record_.line = line;
    }

    Step Take(char c) {
        any_ = true;
        if (pending_cr_) {
            pending_cr_ = false;
            if (c == '\n') {
                return End();
            }
            // A CR that ends no line is data, as in the other readings: a quote after it opens
            // nothing.
            Keep('\r');
            content_ = true;
            state_ = State::Unquoted;
        }
        if (state_ == State::QuoteInQuoted) {
            if (c == '"') {  // a doubled quote stands for one
                Keep(c);
                state_ = State::Quoted;
                return Step::More;
            }
            state_ = State::Unquoted;  // text after the closing quote is kept as it stands
        }
        if (state_ == State::Quoted) {
            if (c == '"') {
                record_.raw_storage += c;
                state_ = State::QuoteInQuoted;
                return Step::More;
            }
            Keep(c);
            return c == '\n' ? Step::LineInQuotes : Step::More;
        }
        return TakeUnquoted(c);
    }

    // The input ended: whether a record was begun at all. A lone CR at the very end is a line
    // break, so it is dropped.
    bool Finish() {
        record_.unclosed_quote = state_ == State::Quoted;
        record_.blank = !content_;
        return any_;
    }

  private:
    enum class State { FieldStart, Unquoted, Quoted, QuoteInQuoted };

    Step TakeUnquoted(char c) {
        if (c == '\n') {
            return End();
        }
        if (c == '\r') {
            pending_cr_ = true;
            return Step::More;
        }
        if (c == delimiter_) {
            record_.raw_storage += c;
            ++field_;
            ++record_.fields;
            record_.has_item = record_.has_item || field_ == column_;
            state_ = State::FieldStart;
            return Step::More;
        }
        content_ = content_ || (c != ' ' && c != '\t');
        if (c == '"' && state_ == State::FieldStart) {
            record_.raw_storage += c;
            state_ = State::Quoted;
            return Step::More;
        }
        Keep(c);
        state_ = State::Unquoted;
        return Step::More;
    }

    Step End() {
        Finish();
        return Step::End;
    }

    void Keep(char c) {
        record_.raw_storage += c;
        if (field_ == column_) {
            record_.item_storage += c;
        }
    }

    CsvRecord& record_;
    std::size_t column_;
    char delimiter_;
    State state_ = State::FieldStart;
    std::size_t field_ = 0;
    bool pending_cr_ = false;  // an unquoted CR that ends the record if LF follows
    bool any_ = false;
    bool content_ = false;
};

// Counts the candidates outside quotes in the first record of `text` that is not blank; whether
// that record ends in `text`.
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

CsvReader::CsvReader(Source source, std::size_t column, char delimiter)
    : source_(std::move(source)), column_(column), buffer_(kChunkSize, '\0') {
    SetDelimiter(delimiter);
}

bool CsvReader::Refill() {
    if (at_end_) {
        return false;
    }
    if (before_read_) {
        before_read_();
    }
    const std::size_t got = source_.Read(buffer_.data(), buffer_.size());
    chunk_ = {buffer_.data(), got};
    pos_ = 0;
    at_end_ = got == 0;
    return !at_end_;
}

// Reads until the first record that is not blank is whole in the chunk (or the chunk is full, or
// the input ends), then takes the candidate that stands most often outside quotes in it.
void CsvReader::FindDelimiter() {
    std::array<std::size_t, kDelimiters.size()> counts{};
    std::size_t have = 0;
    for (bool whole = false; !whole && !at_end_ && have < buffer_.size();) {
        if (before_read_) {
            before_read_();
        }
        const std::size_t got = source_.Read(buffer_.data() + have, buffer_.size() - have);
        at_end_ = got == 0;
        have += got;
        counts = {};
        whole = CountDelimiters({buffer_.data(), have}, counts);
    }
    chunk_ = {buffer_.data(), have};
    pos_ = 0;
    const auto most = std::max_element(counts.begin(), counts.end());  // the first on a tie
    SetDelimiter(kDelimiters[static_cast<std::size_t>(most - counts.begin())]);
}

bool CsvReader::NextPlainLine(CsvRecord& record) {
    if (pos_ == chunk_.size()) {
        return false;
    }
    const char* begin = chunk_.data() + pos_;
    const auto* newline = static_cast<const char*>(std::memchr(begin, '\n', chunk_.size() - pos_));
    if (newline == nullptr) {
        return false;
    }
    if (std::memchr(begin, '"', static_cast<std::size_t>(newline - begin)) != nullptr) {
        return NextQuotedLine(record);
    }
    std::string_view line(begin, static_cast<std::size_t>(newline - begin));
    pos_ = static_cast<std::size_t>(newline + 1 - chunk_.data());
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    record.raw = line;
    record.line = line_++;
    record.unclosed_quote = false;
    // One pass over the separators: the item's bounds and the number of fields together.
    const char* const line_end = line.data() + line.size();
    const char* field_begin = line.data();
    const char* item_begin = column_ == 0 ? field_begin : nullptr;
    const char* item_end = nullptr;
    std::size_t fields = 1;
    while (const auto* separator = static_cast<const char*>(std::memchr(
               field_begin, delimiter_, static_cast<std::size_t>(line_end - field_begin)))) {
        if (fields == column_ + 1) {
            item_end = separator;
        }
        field_begin = separator + 1;
        if (fields++ == column_) {
            item_begin = field_begin;
        }
        if (item_end != nullptr && fields >= enough_fields_) {
            break;
        }
    }
    record.fields = fields;
    record.has_item = item_begin != nullptr;
    record.item = record.has_item
                      ? std::string_view(
                            item_begin,
                            static_cast<std::size_t>((item_end ? item_end : line_end) - item_begin))
                      : std::string_view{};
    // Only a blank item can sit in a blank record: the test costs next to nothing on the others.
    record.blank = IsBlankOf(record.item, delimiter_) && IsBlankOf(line, delimiter_);
    return true;
}

// A record with quotes that lies whole in the chunk, its item unquoted or quoted plainly (no
// doubled quote, nothing after the closing quote), is viewed in place too: the shape spreadsheets
// and HMI tools export, with a comment quoted for its commas. It is read field by field, jumping
// to the next quote or separator. Anything else is left to NextAnyRecord.
bool CsvReader::NextQuotedLine(CsvRecord& record) {
    const char* const begin = chunk_.data() + pos_;
    const char* const end = chunk_.data() + chunk_.size();
    const auto ends_line = [&](const char* at) {
        return *at == '\n' || (*at == '\r' && at + 1 < end && at[1] == '\n');
    };
    const char* p = begin;
    std::size_t field = 0;
    std::size_t lines_inside = 0;
    std::string_view item;
    for (;; ++p, ++field) {  // p at the start of a field
        const char* content = p;
        if (p < end && *p == '"') {
            content = ++p;
            bool doubled = false;
            for (;;) {
                const auto* quote = static_cast<const char*>(
                    std::memchr(p, '"', static_cast<std::size_t>(end - p)));
                if (quote == nullptr || quote + 1 == end) {
                    return false;  // the record goes on past the chunk
                }
                lines_inside += static_cast<std::size_t>(std::count(p, quote, '\n'));
                p = quote + 1;
                if (*p != '"') {
                    break;
                }
                doubled = true;
                ++p;
            }
            if ((*p != delimiter_ && !ends_line(p)) || (doubled && field == column_)) {
                return false;  // unquoted the long way
            }
            if (field == column_) {
                item = {content, static_cast<std::size_t>(p - 1 - content)};
            }
        } else {
            // A quote inside an unquoted field, and a CR not before LF, are data.
            while (p < end && (!special_[static_cast<unsigned char>(*p)] ||
                               (*p != delimiter_ && !ends_line(p) && *p != '\n'))) {
                ++p;
            }
            if (p == end) {
                return false;
            }
            if (field == column_) {
                item = {content, static_cast<std::size_t>(p - content)};
            }
        }
        if (*p != delimiter_) {
            break;
        }
    }
    record.raw = {begin, static_cast<std::size_t>(p - begin)};
    record.line = line_;
    line_ += 1 + lines_inside;
    pos_ = static_cast<std::size_t>(p - chunk_.data()) + (*p == '\r' ? 2 : 1);
    record.unclosed_quote = false;
    record.fields = field + 1;
    record.has_item = column_ <= field;
    record.item = item;
    record.blank = false;  // it holds a quote
    return true;
}

void CsvReader::SetDelimiter(char delimiter) {
    delimiter_ = delimiter;
    special_ = {};
    for (const char c : {delimiter, '"', '\n', '\r'}) {
        special_[static_cast<unsigned char>(c)] = true;
    }
}

bool CsvReader::Next(CsvRecord& record) {
    if (delimiter_ == kFindDelimiter) {
        FindDelimiter();
    }
    // Most tag lists quote nothing: a whole line found in the chunk is viewed where it lies.
    if (NextPlainLine(record)) {
        return true;
    }
    const bool found = NextAnyRecord(record);
    record.raw = record.raw_storage;
    record.item = record.item_storage;
    return found;
}

bool CsvReader::NextAnyRecord(CsvRecord& record) {
    RecordBuilder builder(record, column_, delimiter_, line_);
    for (;;) {
        if (pos_ == chunk_.size() && !Refill()) {
            return builder.Finish();
        }
        switch (builder.Take(chunk_[pos_++])) {
            case RecordBuilder::Step::More:
                break;
            case RecordBuilder::Step::LineInQuotes:
                ++line_;
                break;
            case RecordBuilder::Step::End:
                ++line_;
                return true;
        }
    }
}

std::vector<std::string> SplitFields(std::string_view raw, char delimiter) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    bool field_start = true;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (quoted) {
            if (c != '"') {
                fields.back() += c;
            } else if (i + 1 < raw.size() && raw[i + 1] == '"') {
                fields.back() += c;
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == delimiter) {
            fields.emplace_back();
            field_start = true;
            continue;
        } else if (c == '"' && field_start) {
            quoted = true;
        } else {
            fields.back() += c;
        }
        field_start = false;
    }
    return fields;
}

}  // namespace taglist
