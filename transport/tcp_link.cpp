// The Modbus TCP link. Each try carries a transaction number of its own, so a reply that comes
// late to an earlier request is told from the answer by its number.
#include <vector>

#include "modbus/wire.h"
#include "transport/tcp_connection_link.h"

namespace transport {

namespace {

class TcpLink final : public TcpConnectionLink {
  public:
    TcpLink(boost::asio::io_context& io, const StopFlag& stop, const Connection& connection,
            LogLine log)
        : TcpConnectionLink(io, stop, connection, std::move(log),
                            std::make_unique<modbus::TcpFrameFinder>()) {}

  private:
    std::optional<text::Failure> Send(std::uint8_t unit, std::span<const std::uint8_t> request,
                                      std::uint16_t transaction) override {
        Log("> " + modbus::TcpFrameText(transaction, unit, request));
        return Write(modbus::TcpFrame(transaction, unit, request));
    }

    // The rest of a reply cut short would be read as the start of the next one.
    void CutShort() override {
        Log("< (a reply cut short: the connection is made again)");
        Close();
    }
};

}  // namespace

std::unique_ptr<Link> MakeTcpLink(boost::asio::io_context& io, const StopFlag& stop,
                                  const Connection& connection, LogLine log) {
    return std::make_unique<TcpLink>(io, stop, connection, std::move(log));
}

}  // namespace transport
