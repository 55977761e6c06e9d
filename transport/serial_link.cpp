// The serial link: Boost.Asio's serial port, opened and set as serial_port.h does, speaking
// Modbus ASCII or RTU as the modbus library writes and finds their frames.
#include <boost/asio/serial_port.hpp>

#include "modbus/line_cost.h"
#include "modbus/wire.h"
#include "transport/asio_link.h"
#include "transport/serial_port.h"

namespace transport {

namespace {

namespace asio = boost::asio;

// USB serial adapters hand bytes on in bursts up to 16 ms apart: a gap that short inside a frame
// is the adapter, not the end of the frame.
constexpr std::chrono::milliseconds kShortestSilence{50};

class SerialLink final : public AsioLink {
  public:
    SerialLink(boost::asio::io_context& io, const StopFlag& stop, const Connection& connection,
               LogLine log)
        : AsioLink(io, stop, connection, std::move(log),
                   modbus::SerialFrameFinder(connection.mode)),
          port_(io_) {
        silence_ = std::max<Clock::duration>(
            kShortestSilence,
            std::chrono::microseconds(modbus::RtuSilenceMicroseconds(
                connection.baud,
                modbus::CharacterBits(connection.line.data_bits, connection.line.parity,
                                      connection.line.stop_bits))));
    }

    std::optional<text::Failure> Open() override {
        StartAfresh();
        if (auto failure = OpenSerialPort(port_, connection_)) {
            return failure;
        }
        if (!connection_.rs485.enabled) {
            return std::nullopt;
        }
        lines_ = PortDirectionControl(port_);
        auto way = StartRs485(*lines_, connection_.rs485, connection_.port);
        if (auto* failure = std::get_if<text::Failure>(&way)) {
            Close();
            return std::move(*failure);
        }
        by_rts_ = std::get<Rs485Way>(way) == Rs485Way::Rts;
        return std::nullopt;
    }

  private:
    bool IsOpen() const override { return port_.is_open(); }

    void Close() override {
        boost::system::error_code ignored;
        port_.close(ignored);
    }

    std::optional<text::Failure> Send(std::uint8_t station, std::span<const std::uint8_t> request,
                                      std::uint16_t) override {
        DropPending();
        const auto frame = SerialFrame(station, request);
        boost::system::error_code error;
        const auto write = [&] {
            error = WriteAll(port_, frame);
            return !error;
        };
        if (by_rts_) {
            SendWithRts(*lines_, connection_.rs485, write,
                        [this](std::chrono::microseconds time) { WaitUntil(Clock::now() + time); });
        } else {
            write();
        }
        if (error) {
            return text::Failure{"the port " + connection_.port + " failed: " + ErrorText(error)};
        }
        return std::nullopt;
    }

    std::size_t ReadSome(std::span<std::uint8_t> buffer, Clock::time_point deadline,
                         boost::system::error_code& error) override {
        return ReadBefore(port_, buffer, deadline, error);
    }

    Attempt ReadFailed(const boost::system::error_code& error) override {
        return {AttemptKind::Lost,
                std::nullopt,
                "the port " + connection_.port + " was lost: " + ErrorText(error),
                {}};
    }

    // Only an ASCII frame is cut short by the time running out: an RTU frame ends at silence.
    void CutShort() override { Log("< (a reply cut short: no CR LF came)"); }

    asio::serial_port port_;
    std::unique_ptr<DirectionControl> lines_;  // with --rs485
    bool by_rts_ = false;                      // RTS switched by the program, not the driver
};

}  // namespace

std::unique_ptr<Link> MakeSerialLink(boost::asio::io_context& io, const StopFlag& stop,
                                     const Connection& connection, LogLine log) {
    return std::make_unique<SerialLink>(io, stop, connection, std::move(log));
}

}  // namespace transport
