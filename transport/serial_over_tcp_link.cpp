// The serial line's frames over TCP, for a controller behind a serial device server that passes
// the bytes on as they are (RTU or ASCII over TCP): framed and found as on a serial port, with no
// transaction number, so a late reply is told from the answer only by waiting it out.
#include "modbus/wire.h"
#include "transport/tcp_connection_link.h"

namespace transport {

namespace {

// The device server sends the serial bytes on in packets as its own serial side and packing timer
// deliver them, so an RTU reply may come in pieces, apart by the serial line's own gaps (under 3.5
// characters: 32 ms even at 1200 baud) plus the network's delay variation, a few ms on a LAN. A
// reply ends at the size its request gives it, so this silence only gives up on one that stopped
// short, and a generous one costs little: the serial link's own floor.
constexpr std::chrono::milliseconds kNetworkSilence{50};

class SerialOverTcpLink final : public TcpConnectionLink {
  public:
    SerialOverTcpLink(StopSignal& stop, const Connection& connection, LogLine log)
        : TcpConnectionLink(stop, connection, std::move(log),
                            modbus::SerialFrameFinder(connection.mode)) {
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
    void CutShort() override { Log("< (a reply cut short: no CR LF came)"); }
};

}  // namespace

std::unique_ptr<Link> MakeSerialOverTcpLink(StopSignal& stop, const Connection& connection,
                                            LogLine log) {
    return std::make_unique<SerialOverTcpLink>(stop, connection, std::move(log));
}

}  // namespace transport
