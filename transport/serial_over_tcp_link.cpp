// The serial line's frames over TCP, for a controller behind a serial device server that passes
// the bytes on as they are (RTU or ASCII over TCP): framed and found as on a serial port, with no
// transaction number, so a late reply is told from the answer only by waiting it out.
#include "modbus/wire.h"
#include "transport/tcp_connection_link.h"

namespace transport {

namespace {

// The device server sends the serial bytes on in packets as its own serial side, its packing timer
// and the network deliver them: a TCP retransmission holds a piece back 200 ms or more, a Wi-Fi
// or cellular link longer. So a reply of known size ends at that size or at the timeout, never at
// a gap (the finder reads by length); this silence ends only a frame whose size nothing tells.
constexpr std::chrono::milliseconds kNetworkSilence{50};

class SerialOverTcpLink final : public TcpConnectionLink {
  public:
    SerialOverTcpLink(boost::asio::io_context& io, const StopFlag& stop,
                      const Connection& connection, LogLine log)
        : TcpConnectionLink(io, stop, connection, std::move(log),
                            modbus::SerialFrameFinder(connection.mode, true)) {
        silence_ = kNetworkSilence;
    }

  private:
    std::optional<text::Failure> Send(std::uint8_t station, std::span<const std::uint8_t> request,
                                      std::uint16_t) override {
        DropPending();
        return Write(SerialFrame(station, request));
    }

    // What is left of the reply is dropped before the next try: the connection is kept, as a
    // device server may take a while to accept the next one.
    void CutShort() override {
        Log(connection_.mode == modbus::FrameMode::Ascii
                ? "< (a reply cut short: no CR LF came)"
                : "< (a reply cut short: the time ran out before its last byte)");
    }
};

}  // namespace

std::unique_ptr<Link> MakeSerialOverTcpLink(boost::asio::io_context& io, const StopFlag& stop,
                                            const Connection& connection, LogLine log) {
    return std::make_unique<SerialOverTcpLink>(io, stop, connection, std::move(log));
}

}  // namespace transport
