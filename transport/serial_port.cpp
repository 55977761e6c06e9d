// A serial port set to the line the user named and read back, so that a port which quietly keeps
// other settings (a pseudo-terminal; some USB adapters refuse 7 data bits and parity) is reported
// rather than talked through in a format the controller cannot read.
#include "transport/serial_port.h"

#include <vector>

#include "transport/error_text.h"

#ifndef _WIN32
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#ifdef __linux__
#include <linux/serial.h>
#endif
#endif

namespace transport {

namespace {

namespace asio = boost::asio;

std::string ParityName(char parity) {
    return parity == 'N' ? "no parity" : parity == 'E' ? "even parity" : "odd parity";
}

// The system's name of a port: COM10 and above open only as \\.\COM10, and \\.\ works for all.
std::string SystemPortName(const std::string& port) {
#ifdef _WIN32
    if (port.size() > 3 && (port.rfind("COM", 0) == 0 || port.rfind("com", 0) == 0) &&
        port.find_first_not_of("0123456789", 3) == std::string::npos) {
        return "\\\\.\\" + port;
    }
#endif
    return port;
}

// Whether opening a port failed because the path names something else: a file, /dev/null. The
// system's own words for it ("Inappropriate ioctl for device") say nothing to most users.
bool NotASerialPort(const boost::system::error_code& error) {
#ifdef _WIN32
    return error.value() == ERROR_INVALID_FUNCTION || error.value() == ERROR_INVALID_HANDLE ||
           error.value() == ERROR_NOT_SUPPORTED;
#else
    return error == boost::system::errc::inappropriate_io_control_operation;
#endif
}

// What the port holds now against what was asked.
std::optional<text::Failure> CheckLine(asio::serial_port& port, const Connection& connection) {
    asio::serial_port::baud_rate baud;
    asio::serial_port::character_size size;
    asio::serial_port::parity parity;
    asio::serial_port::stop_bits stop;
    boost::system::error_code error;
    port.get_option(baud, error);
    if (!error) {
        port.get_option(size, error);
    }
    if (!error) {
        port.get_option(parity, error);
    }
    if (!error) {
        port.get_option(stop, error);
    }
    if (error) {
        return text::Failure{"cannot read the settings of " + connection.port +
                             " back: " + ErrorText(error)};
    }
    const LineFormat held{size.value(),
                          parity.value() == asio::serial_port::parity::none   ? 'N'
                          : parity.value() == asio::serial_port::parity::even ? 'E'
                                                                              : 'O',
                          stop.value() == asio::serial_port::stop_bits::one ? 1U : 2U};
    const LineFormat& asked = connection.line;
    std::vector<std::string> refused;
    if (baud.value() != connection.baud) {
        refused.push_back(std::to_string(connection.baud) + " baud");
    }
    if (held.data_bits != asked.data_bits) {
        refused.push_back(std::to_string(asked.data_bits) + " data bits");
    }
    if (held.parity != asked.parity) {
        refused.push_back(ParityName(asked.parity));
    }
    if (held.stop_bits != asked.stop_bits) {
        refused.push_back(std::to_string(asked.stop_bits) + " stop bits");
    }
    if (refused.empty()) {
        return std::nullopt;
    }
    std::string list = refused.front();
    for (std::size_t i = 1; i < refused.size(); ++i) {
        list += (i + 1 == refused.size() ? " and " : ", ") + refused[i];
    }
    return text::Failure{connection.port + " refused " + list + ": the port is at " +
                         std::to_string(baud.value()) + " " + LineText(held) +
                         " (a pseudo-terminal, or an adapter that cannot do " + list +
                         "; the controller would not understand it as it is)"};
}

// Sets the line and reads it back: none when the port took every setting.
std::optional<text::Failure> SetLine(asio::serial_port& port, const Connection& connection) {
    const LineFormat& line = connection.line;
    const auto parity = line.parity == 'N'   ? asio::serial_port::parity::none
                        : line.parity == 'E' ? asio::serial_port::parity::even
                                             : asio::serial_port::parity::odd;
    const auto stop =
        line.stop_bits == 1 ? asio::serial_port::stop_bits::one : asio::serial_port::stop_bits::two;
    // Each setting on its own, so that one the port refuses does not keep the others from it;
    // what the port then holds, read back, says which it refused.
    boost::system::error_code first_error;
    const auto set = [&](const auto& option) {
        boost::system::error_code error;
        port.set_option(option, error);
        if (error && !first_error) {
            first_error = error;
        }
    };
    set(asio::serial_port::baud_rate(connection.baud));
    set(asio::serial_port::character_size(line.data_bits));
    set(asio::serial_port::parity(parity));
    set(asio::serial_port::stop_bits(stop));
    set(asio::serial_port::flow_control(asio::serial_port::flow_control::none));
    if (auto refused = CheckLine(port, connection); refused || !first_error) {
        return refused;
    }
    return text::Failure{"cannot set " + connection.port + " to " +
                         std::to_string(connection.baud) + " " + LineText(line) + ": " +
                         ErrorText(first_error)};
}

// The port's own control lines: the system's calls for them.
class PortLines final : public DirectionControl {
  public:
    explicit PortLines(asio::serial_port& port) : port_(port) {}

    bool KernelMode(const Rs485& settings) override {
#ifdef TIOCSRS485
        serial_rs485 mode{};
        mode.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        // The driver counts its delays in whole milliseconds: a part of one is rounded up.
        mode.delay_rts_before_send = static_cast<std::uint32_t>(
            std::chrono::ceil<std::chrono::milliseconds>(settings.before).count());
        mode.delay_rts_after_send = static_cast<std::uint32_t>(
            std::chrono::ceil<std::chrono::milliseconds>(settings.after).count());
        return ioctl(port_.native_handle(), TIOCSRS485, &mode) == 0;
#else
        (void)settings;
        return false;
#endif
    }

    bool SetRts(bool on) override {
#ifdef _WIN32
        return EscapeCommFunction(port_.native_handle(), on ? SETRTS : CLRRTS) != 0;
#else
        int rts = TIOCM_RTS;
        return ioctl(port_.native_handle(), on ? TIOCMBIS : TIOCMBIC, &rts) == 0;
#endif
    }

    void Drain() override {
#ifdef _WIN32
        FlushFileBuffers(port_.native_handle());
#else
        tcdrain(port_.native_handle());
#endif
    }

  private:
    asio::serial_port& port_;
};

}  // namespace

std::unique_ptr<DirectionControl> PortDirectionControl(asio::serial_port& port) {
    return std::make_unique<PortLines>(port);
}

std::optional<text::Failure> OpenSerialPort(asio::serial_port& port, const Connection& connection) {
    boost::system::error_code ignored;
    boost::system::error_code error;
    port.open(SystemPortName(connection.port), error);
    if (error) {
#ifdef _WIN32
        // Windows opens a COM port for one program at a time and says so as a refusal.
        if (error == asio::error::access_denied) {
            return text::Failure{"cannot open " + connection.port +
                                 ": it is in use by another program"};
        }
#endif
        if (NotASerialPort(error)) {
            return text::Failure{"cannot open " + connection.port + ": it is not a serial port"};
        }
        return text::Failure{"cannot open " + connection.port + ": " + ErrorText(error)};
    }
#ifndef _WIN32
    // Two programs on one serial line garble each other's frames: one at a time.
    if (flock(port.native_handle(), LOCK_EX | LOCK_NB) != 0) {
        port.close(ignored);
        return text::Failure{"cannot open " + connection.port +
                             ": it is in use by another program"};
    }
#endif
    if (auto refused = SetLine(port, connection)) {
        port.close(ignored);
        return refused;
    }
    return std::nullopt;
}

}  // namespace transport
