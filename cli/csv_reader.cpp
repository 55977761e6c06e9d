#include "cli/csv_reader.h"

#include <cstring>
#include <utility>

namespace lookup {

namespace {

constexpr std::size_t kChunkSize = 1 << 16;

}  // namespace

CsvReader::CsvReader(Source source, std::size_t column)
    : source_(std::move(source)), column_(column), buffer_(kChunkSize, '\0') {}

bool CsvReader::Refill() {
    if (at_end_) {
        return false;
    }
    const std::size_t got = source_(buffer_.data(), buffer_.size());
    chunk_ = {buffer_.data(), got};
    pos_ = 0;
    at_end_ = got == 0;
    return !at_end_;
}

bool CsvReader::NextPlainLine(CsvRecord& record) {
    if (pos_ == chunk_.size()) {
        return false;
    }
    const char* begin = chunk_.data() + pos_;
    const auto* newline = static_cast<const char*>(std::memchr(begin, '\n', chunk_.size() - pos_));
    if (newline == nullptr ||
        std::memchr(begin, '"', static_cast<std::size_t>(newline - begin)) != nullptr) {
        return false;
    }
    std::string_view line(begin, static_cast<std::size_t>(newline - begin));
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    record.raw = line;
    record.line = line_++;
    record.unclosed_quote = false;
    std::string_view rest = line;
    for (std::size_t field = 0; field < column_; ++field) {
        const auto comma = rest.find(',');
        if (comma == std::string_view::npos) {
            record.has_item = false;
            record.item = {};
            pos_ = static_cast<std::size_t>(newline + 1 - chunk_.data());
            return true;
        }
        rest.remove_prefix(comma + 1);
    }
    record.has_item = true;
    record.item = rest.substr(0, rest.find(','));
    pos_ = static_cast<std::size_t>(newline + 1 - chunk_.data());
    return true;
}

bool CsvReader::Next(CsvRecord& record) {
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
    record.raw_storage.clear();
    record.item_storage.clear();
    record.has_item = column_ == 0;
    record.unclosed_quote = false;
    record.line = line_;

    enum class State { FieldStart, Unquoted, Quoted, QuoteInQuoted };
    State state = State::FieldStart;
    std::size_t field = 0;
    bool pending_cr = false;  // an unquoted CR that ends the record if LF follows
    bool any = false;

    const auto keep = [&](char c) {
        record.raw_storage += c;
        if (field == column_) {
            record.item_storage += c;
        }
    };

    for (;;) {
        if (pos_ == chunk_.size() && !Refill()) {
            record.unclosed_quote = state == State::Quoted;
            return any;  // a lone CR at the very end is a line break, so it is dropped
        }
        const char c = chunk_[pos_++];
        any = true;
        if (pending_cr) {
            pending_cr = false;
            if (c == '\n') {
                ++line_;
                return true;
            }
            keep('\r');
        }
        if (state == State::QuoteInQuoted) {
            if (c == '"') {  // a doubled quote stands for one
                record.raw_storage += c;
                if (field == column_) {
                    record.item_storage += c;
                }
                state = State::Quoted;
                continue;
            }
            state = State::Unquoted;  // text after the closing quote is kept as it stands
        }
        if (state == State::Quoted) {
            if (c == '"') {
                record.raw_storage += c;
                state = State::QuoteInQuoted;
                continue;
            }
            line_ += c == '\n' ? 1 : 0;
            keep(c);
            continue;
        }
        switch (c) {
            case '\n':
                ++line_;
                return true;
            case '\r':
                pending_cr = true;
                break;
            case ',':
                record.raw_storage += c;
                ++field;
                record.has_item = record.has_item || field == column_;
                state = State::FieldStart;
                break;
            case '"':
                if (state == State::FieldStart) {
                    record.raw_storage += c;
                    state = State::Quoted;
                    break;
                }
                keep(c);
                break;
            default:
                keep(c);
                state = State::Unquoted;
                break;
        }
    }
}

}  // namespace lookup
