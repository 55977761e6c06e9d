#include "cli/csv_reader.h"

#include <utility>

namespace lookup {

namespace {

constexpr std::size_t kChunkSize = 1 << 16;

}  // namespace

CsvReader::CsvReader(Source source, std::size_t column)
    : source_(std::move(source)), column_(column) {}

bool CsvReader::Refill() {
    if (at_end_) {
        return false;
    }
    chunk_.resize(kChunkSize);
    const std::size_t got = source_(chunk_.data(), chunk_.size());
    chunk_.resize(got);
    pos_ = 0;
    at_end_ = got == 0;
    return !at_end_;
}

bool CsvReader::Next(CsvRecord& record) {
    record.raw.clear();
    record.item.clear();
    record.has_item = column_ == 0;
    record.unclosed_quote = false;
    record.line = line_;

    enum class State { FieldStart, Unquoted, Quoted, QuoteInQuoted };
    State state = State::FieldStart;
    std::size_t field = 0;
    bool pending_cr = false;  // an unquoted CR that ends the record if LF follows
    bool any = false;

    const auto keep = [&](char c) {
        record.raw += c;
        if (field == column_) {
            record.item += c;
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
                record.raw += c;
                if (field == column_) {
                    record.item += c;
                }
                state = State::Quoted;
                continue;
            }
            state = State::Unquoted;  // text after the closing quote is kept as it stands
        }
        if (state == State::Quoted) {
            if (c == '"') {
                record.raw += c;
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
                record.raw += c;
                ++field;
                record.has_item = record.has_item || field == column_;
                state = State::FieldStart;
                break;
            case '"':
                if (state == State::FieldStart) {
                    record.raw += c;
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
