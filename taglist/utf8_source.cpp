#include "taglist/utf8_source.h"

#include "text/utf16.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace taglist {

namespace {

constexpr std::size_t kChunkSize = 1 << 16;
constexpr std::uint32_t kReplacement = 0xFFFD;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

bool StartsAnyBom(std::string_view bytes) {
    for (const auto bom : {kUtf8Bom, kUtf16LeBom, kUtf16BeBom}) {
        if (bom.substr(0, std::min(bom.size(), bytes.size())) == bytes.substr(0, bom.size())) {
            return true;
        }
    }
    return false;
}

}  // namespace

ByteOrderMark MarkOf(std::string_view start) {
    for (const auto& [bom, encoding] : {std::pair{kUtf8Bom, InputEncoding::Utf8WithBom},
                                        std::pair{kUtf16LeBom, InputEncoding::Utf16LittleEndian},
                                        std::pair{kUtf16BeBom, InputEncoding::Utf16BigEndian}}) {
        if (start.starts_with(bom)) {
            return {encoding, bom.size()};
        }
    }
    return {};
}

Utf8Source::Utf8Source(Source source) : source_(std::move(source)) {}

// Reads on until `wanted` bytes wait in raw_ or the input ends; gives how many wait.
std::size_t Utf8Source::FillRaw(std::size_t wanted) {
    if (raw_pos_ > 0) {
        raw_.erase(0, raw_pos_);
        raw_pos_ = 0;
    }
    while (!at_end_ && raw_.size() < wanted) {
        const std::size_t old = raw_.size();
        raw_.resize(old + kChunkSize);
        const std::size_t got = source_(raw_.data() + old, kChunkSize);
        raw_.resize(old + got);
        at_end_ = got == 0;
    }
    return raw_.size();
}

// Reads no more than it takes to tell a byte-order mark, so that a list typed at a terminal is
// answered line by line from its first line on.
void Utf8Source::Sniff() {
    sniffed_ = true;
    std::size_t have = FillRaw(1);
    while (have > 0 && have < kUtf8Bom.size() && StartsAnyBom(raw_) && !at_end_) {
        have = FillRaw(have + 1);
    }
    const auto mark = MarkOf(raw_);
    encoding_ = mark.encoding;
    raw_pos_ = mark.size;
}

std::size_t Utf8Source::Read(char* buffer, std::size_t size) {
    if (!sniffed_) {
        Sniff();
    }
    if (encoding_ == InputEncoding::Utf16LittleEndian ||
        encoding_ == InputEncoding::Utf16BigEndian) {
        return ReadUtf16(buffer, size);
    }
    if (raw_pos_ < raw_.size()) {
        const std::size_t n = std::min(size, raw_.size() - raw_pos_);
        std::copy_n(raw_.data() + raw_pos_, n, buffer);
        raw_pos_ += n;
        return n;
    }
    if (at_end_) {
        return 0;
    }
    const std::size_t got = source_(buffer, size);
    at_end_ = got == 0;
    return got;
}

std::size_t Utf8Source::ReadUtf16(char* buffer, std::size_t size) {
    const bool little = encoding_ == InputEncoding::Utf16LittleEndian;
    while (encoded_pos_ == encoded_.size()) {
        encoded_.clear();
        encoded_pos_ = 0;
        if (raw_.size() - raw_pos_ < 2) {
            if (!at_end_) {
                FillRaw(2);
                continue;
            }
            if (raw_pos_ == raw_.size() && pending_high_ == 0) {
                return 0;
            }
            raw_pos_ = raw_.size();  // an odd last byte, or a high surrogate with no low half
            pending_high_ = 0;
            text::AppendUtf8(encoded_, kReplacement);
            break;
        }
        for (; raw_.size() - raw_pos_ >= 2; raw_pos_ += 2) {
            const auto first = static_cast<unsigned char>(raw_[raw_pos_]);
            const auto second = static_cast<unsigned char>(raw_[raw_pos_ + 1]);
            const std::uint32_t high = little ? second : first;
            const std::uint32_t low = little ? first : second;
            const std::uint32_t unit = (high << 8u) | low;
            if (pending_high_ != 0) {
                if (unit >= 0xDC00 && unit <= 0xDFFF) {
                    text::AppendUtf8(encoded_,
                                     0x10000 + ((pending_high_ - 0xD800) << 10u) + (unit - 0xDC00));
                    pending_high_ = 0;
                    continue;
                }
                text::AppendUtf8(encoded_, kReplacement);
                pending_high_ = 0;
            }
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                pending_high_ = unit;
            } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
                text::AppendUtf8(encoded_, kReplacement);
            } else {
                text::AppendUtf8(encoded_, unit);
            }
        }
    }
    const std::size_t n = std::min(size, encoded_.size() - encoded_pos_);
    std::copy_n(encoded_.data() + encoded_pos_, n, buffer);
    encoded_pos_ += n;
    return n;
}

}  // namespace taglist
