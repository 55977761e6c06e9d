#include "modbus/frame_text.h"

#include <algorithm>

#include "modbus/checksums.h"
#include "text/ascii_text.h"

namespace modbus {

namespace {

// A character as an error message shows it: printable ASCII in quotes, any other byte as \xNN.
std::string Shown(char c) {
    std::string text;
    if (text::ascii::IsPrintable(c)) {
        text.append("'").append(1, c).append("'");
    } else {
        text::ascii::AppendEscaped(text, c);
    }
    return text;
}

std::string AtPosition(std::size_t offset) {
    return "at position " + std::to_string(offset + 1);
}

FrameFault Fault(FrameError kind, std::string message,
                 std::optional<std::size_t> offset = std::nullopt) {
    return {kind, std::move(message), offset};
}

// Reads the hex digits of text[begin, end) two by two into `bytes`, in one pass. Either mode may
// put blanks between bytes, as the controller's manual prints an ASCII frame (": 01 03 06 14 00 08
// DA"); a blank inside a byte ("0 1") would make the pairing a guess, so every blank-free group
// must have an even number of digits. A character that is no digit is named
// before a group of odd length, wherever each lies.
std::optional<FrameFault> ReadHex(std::string_view text, std::size_t begin, std::size_t end,
                                  FrameMode mode, std::vector<std::uint8_t>& bytes) {
    const bool rtu = mode == FrameMode::Rtu;
    bytes.reserve((end - begin) / 2);
    bool blanks = false;
    std::size_t group = begin;  // where the group of digits being read begins
    std::optional<std::size_t> odd;
    std::size_t odd_end = 0;
    int high = -1;  // the first digit of a byte, until its second comes
    for (std::size_t i = begin; i < end; ++i) {
        const int value = text::ascii::HexValue(text[i]);
        if (value >= 0 && high < 0) {
            high = value;
        } else if (value >= 0) {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + value));
            high = -1;
        } else if (text::ascii::IsBlank(text[i])) {
            if (high >= 0 && !odd) {
                odd = group;
                odd_end = i;
            }
            blanks = true;
            high = -1;
            group = i + 1;
        } else {
            return Fault(FrameError::NotHex,
                         Shown(text[i]) + ' ' + AtPosition(i) + " is not a hex digit" +
                             (rtu ? " or a space" : ""),
                         i);
        }
    }
    if (high >= 0 && !odd) {
        odd = group;
        odd_end = end;
    }
    if (!odd) {
        return std::nullopt;
    }
    const std::size_t digits = odd_end - *odd;
    const std::string count = std::to_string(digits);
    if (!rtu && !blanks) {
        return Fault(FrameError::OddDigits, "odd number of hex digits (" + count + ") after ':'",
                     *odd);
    }
    if (!blanks) {
        return Fault(FrameError::OddDigits, "odd number of hex digits (" + count + ")", *odd);
    }
    constexpr std::size_t kShown = 16;
    const auto shown = text.substr(*odd, std::min(digits, kShown));
    return Fault(FrameError::OddDigits,
                 "odd number of hex digits in \"" + std::string(shown) +
                     (digits > kShown ? "..." : "") + "\" " + AtPosition(*odd),
                 *odd);
}

bool IsLineEnd(char c) noexcept {
    return text::ascii::IsBlank(c) || c == '\r' || c == '\n';
}

}  // namespace

std::variant<FramedBytes, FrameFault> ReadFrameText(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && text::ascii::IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsLineEnd(text[end - 1])) {
        --end;
    }
    if (begin == end) {
        return Fault(FrameError::Empty, "no frame: the text is blank");
    }
    FramedBytes frame;
    FrameHead& head = frame.head;
    head.mode = text[begin] == ':' ? FrameMode::Ascii : FrameMode::Rtu;
    const bool ascii = head.mode == FrameMode::Ascii;
    if (auto fault = ReadHex(text, ascii ? begin + 1 : begin, end, head.mode, frame.bytes)) {
        return std::move(*fault);
    }

    std::vector<std::uint8_t>& bytes = frame.bytes;
    const std::size_t checksum_size = ascii ? 1 : 2;
    if (bytes.size() < 2 + checksum_size) {
        return Fault(FrameError::TooShort, "frame too short: " + std::to_string(bytes.size()) +
                                               (bytes.size() == 1 ? " byte" : " bytes") +
                                               ", but slave address, function code and " +
                                               (ascii ? "LRC take 3" : "CRC take 4"));
    }
    const std::size_t size = bytes.size() - checksum_size;
    const std::span<const std::uint8_t> covered(bytes.data(), size);
    if (ascii) {
        head.checksum = bytes[size];
        head.checksum_expected = Lrc(covered);
    } else {
        head.checksum = static_cast<std::uint16_t>(bytes[size] | bytes[size + 1] << 8);
        head.checksum_expected = Crc16(covered);
    }
    bytes.resize(size);
    head.slave = bytes[0];
    head.function = bytes[1];
    return frame;
}

std::optional<FrameFault> ChecksumFault(const FrameHead& head) {
    if (head.checksum_ok()) {
        return std::nullopt;
    }
    return Fault(FrameError::BadChecksum,
                 std::string(head.mode == FrameMode::Ascii ? "LRC " : "CRC ") +
                     ChecksumText(head.mode, head.checksum_expected) + " expected, frame says " +
                     ChecksumText(head.mode, head.checksum));
}

std::string FrameText(FrameMode mode, std::span<const std::uint8_t> bytes) {
    if (mode == FrameMode::Ascii) {
        std::string text = ":";
        for (const std::uint8_t byte : bytes) {
            text::ascii::AppendHexByte(text, byte);
        }
        text::ascii::AppendHexByte(text, Lrc(bytes));
        return text;
    }
    std::string text = text::ascii::SpacedHex(bytes);
    if (!text.empty()) {
        text += ' ';
    }
    return text + ChecksumText(mode, Crc16(bytes));
}

std::string ChecksumText(FrameMode mode, std::uint16_t checksum) {
    const auto low = static_cast<std::uint8_t>(checksum);
    if (mode == FrameMode::Ascii) {
        return text::ascii::HexByte(low);
    }
    std::string text = text::ascii::HexByte(low);
    text += ' ';
    text::ascii::AppendHexByte(text, static_cast<std::uint8_t>(checksum >> 8));
    return text;
}

std::string_view ModeName(FrameMode mode) noexcept {
    return mode == FrameMode::Ascii ? "ascii" : "rtu";
}

}  // namespace modbus
