// What the three transports' framing shares: the queue of frames found, and the slave address
// before a serial PDU.
#include "modbus/wire.h"

#include <utility>

namespace modbus {

std::vector<std::uint8_t> SlaveAndPdu(std::uint8_t slave, std::span<const std::uint8_t> pdu) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(pdu.size() + 3);  // and a CRC, for an RTU frame
    bytes.push_back(slave);
    bytes.insert(bytes.end(), pdu.begin(), pdu.end());
    return bytes;
}

void FrameFinder::Expect(std::span<const std::uint8_t>) {}

void FrameFinder::Silence() {}

bool FrameFinder::ends_at_silence() const noexcept {
    return false;
}

std::optional<WireFrame> FrameFinder::Next() {
    if (next_ == found_.size()) {
        found_.clear();
        next_ = 0;
        return std::nullopt;
    }
    return std::move(found_[next_++]);
}

void FrameFinder::Clear() {
    found_.clear();
    next_ = 0;
    lost_ = false;
}

void FrameFinder::Found(WireFrame frame) {
    found_.push_back(std::move(frame));
}

std::unique_ptr<FrameFinder> SerialFrameFinder(FrameMode mode, bool by_length) {
    if (mode == FrameMode::Ascii) {
        return std::make_unique<AsciiFrameFinder>();
    }
    return std::make_unique<RtuFrameFinder>(by_length);
}

}  // namespace modbus
