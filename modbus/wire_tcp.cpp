// Modbus TCP on the wire: the MBAP header (transaction, protocol, length) before the unit and PDU.
#include "modbus/frame_text.h"
#include "modbus/wire.h"
#include "modbus/word_bytes.h"
#include "text/ascii_text.h"

namespace modbus {

using detail::AppendWord;
using detail::WordAt;

namespace {

// Transaction, protocol and length: the MBAP header before the unit.
constexpr std::size_t kMbapHeader = 6;
// Unit and function at least; unit and the longest PDU at most.
constexpr std::uint16_t kShortestTcpLength = 2;
constexpr std::uint16_t kLongestTcpLength = 254;

}  // namespace

std::vector<std::uint8_t> TcpFrame(std::uint16_t transaction, std::uint8_t unit,
                                   std::span<const std::uint8_t> pdu) {
    const std::size_t length = pdu.size() + 1;
    if (length < kShortestTcpLength || length > kLongestTcpLength) {
        return {};
    }
    std::vector<std::uint8_t> frame;
    frame.reserve(kMbapHeader + length);
    AppendWord(frame, transaction);
    AppendWord(frame, 0);
    AppendWord(frame, static_cast<std::uint16_t>(length));
    frame.push_back(unit);
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    return frame;
}

void TcpFrameFinder::Add(std::span<const std::uint8_t> bytes) {
    if (lost_) {
        return;
    }
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    const std::span<const std::uint8_t> stream(pending_);
    std::size_t at = 0;
    while (stream.size() - at >= kMbapHeader) {
        const auto header = stream.subspan(at, kMbapHeader);
        const std::uint16_t transaction = WordAt(header, 0);
        const std::uint16_t protocol = WordAt(header, 2);
        const std::uint16_t length = WordAt(header, 4);
        if (protocol != 0 || length < kShortestTcpLength || length > kLongestTcpLength) {
            WireFrame frame;
            frame.transaction = transaction;
            frame.text =
                "[tcp " + text::ascii::HexWord(transaction) + "] " + text::ascii::SpacedHex(header);
            frame.fault = protocol != 0 ? "protocol " + text::ascii::HexWord(protocol) +
                                              " in the header, where Modbus TCP has 0000"
                                        : "a length of " + std::to_string(length) +
                                              " in the header, where a frame has 2 to 254";
            Found(std::move(frame));
            lost_ = true;
            pending_.clear();
            return;
        }
        if (stream.size() - at < kMbapHeader + length) {
            break;
        }
        const auto unit_and_pdu = stream.subspan(at + kMbapHeader, length);
        WireFrame frame;
        frame.transaction = transaction;
        frame.slave = unit_and_pdu[0];
        frame.pdu.assign(unit_and_pdu.begin() + 1, unit_and_pdu.end());
        frame.text = TcpFrameText(transaction, frame.slave, frame.pdu);
        Found(std::move(frame));
        at += kMbapHeader + length;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
}

void TcpFrameFinder::Clear() {
    FrameFinder::Clear();
    pending_.clear();
}

std::string TcpFrameText(std::uint16_t transaction, std::uint8_t unit,
                         std::span<const std::uint8_t> pdu) {
    return "[tcp " + text::ascii::HexWord(transaction) + "] " +
           FrameText(FrameMode::Rtu, SlaveAndPdu(unit, pdu));
}

}  // namespace modbus
