// The serial link: Boost.Asio's serial port, set to the line the user named and read back, so
// that a port which quietly keeps other settings (a pseudo-terminal, some USB adapters refuse 7
// data bits and parity) is reported rather than talked through in a format the controller cannot
// read. Frames are Modbus ASCII or RTU, as the library writes and finds them.
#include <boost/asio/serial_port.hpp>
#include <vector>

#include "modbus/wire.h"
#include "poll/asio_link.h"

#ifndef _WIN32
#include <sys/file.h>
#endif

namespace live {

namespace {

namespace asio = boost::asio;
using modbus::FrameMode;

// USB serial adapters hand bytes on in bursts up to 16 ms apart: a gap that short inside a frame
// is the adapter, not the end of the frame.
constexpr std::chrono::milliseconds kShortestSilence{50};

std::string ParityName(char parity) {
    return parity == 'N' ? "no parity" : parity == 'E' ? "even parity" : "odd parity";
}

// Start bit, data bits, parity bit, stop bits.
std::uint32_t CharacterBits(const LineFormat& line) {
    return 1 + line.data_bits + (line.parity == 'N' ? 0U : 1U) + line.stop_bits;
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

class SerialLink final : public AsioLink {
  public:
    SerialLink(const Connection& connection, LogLine log)
        : AsioLink(connection, std::move(log)), port_(io_) {}

    std::string Open() override {
        ForgiveOwed();
        boost::system::error_code error;
        port_.open(SystemPortName(connection_.port), error);
        if (error) {
#ifdef _WIN32
            // Windows opens a COM port for one program at a time and says so as a refusal.
            if (error == asio::error::access_denied) {
                return "cannot open " + connection_.port + ": it is in use by another program";
            }
#endif
            if (NotASerialPort(error)) {
                return "cannot open " + connection_.port + ": it is not a serial port";
            }
            return "cannot open " + connection_.port + ": " + ErrorText(error);
        }
#ifndef _WIN32
        // Two programs on one serial line garble each other's frames: one at a time.
        if (flock(port_.native_handle(), LOCK_EX | LOCK_NB) != 0) {
            Close();
            return "cannot open " + connection_.port + ": it is in use by another program";
        }
#endif
        if (auto refused = SetLine(); !refused.empty()) {
            Close();
            return refused;
        }
        return {};
    }

  private:
    bool IsOpen() const override {
        return port_.is_open();
    }

    void Close() override {
        boost::system::error_code ignored;
        port_.close(ignored);
    }

    // Sets the line and reads it back: empty when the port took every setting.
    std::string SetLine() {
        const LineFormat& line = connection_.line;
        const auto parity = line.parity == 'N'   ? asio::serial_port::parity::none
                            : line.parity == 'E' ? asio::serial_port::parity::even
                                                 : asio::serial_port::parity::odd;
        const auto stop = line.stop_bits == 1 ? asio::serial_port::stop_bits::one
                                              : asio::serial_port::stop_bits::two;
        // Each setting on its own, so that one the port refuses does not keep the others from it;
        // what the port then holds, read back, says which it refused.
        boost::system::error_code first_error;
        const auto set = [&](const auto& option) {
            boost::system::error_code error;
            port_.set_option(option, error);
            if (error && !first_error) {
                first_error = error;
            }
        };
        set(asio::serial_port::baud_rate(connection_.baud));
        set(asio::serial_port::character_size(line.data_bits));
        set(asio::serial_port::parity(parity));
        set(asio::serial_port::stop_bits(stop));
        set(asio::serial_port::flow_control(asio::serial_port::flow_control::none));
        if (auto refused = CheckLine(); !refused.empty() || !first_error) {
            return refused;
        }
        return "cannot set " + connection_.port + " to " + std::to_string(connection_.baud) + " " +
               LineText(line) + ": " + ErrorText(first_error);
    }

    // What the port holds now against what was asked.
    std::string CheckLine() {
        asio::serial_port::baud_rate baud;
        asio::serial_port::character_size size;
        asio::serial_port::parity parity;
        asio::serial_port::stop_bits stop;
        boost::system::error_code error;
        port_.get_option(baud, error);
        if (!error) {
            port_.get_option(size, error);
        }
        if (!error) {
            port_.get_option(parity, error);
        }
        if (!error) {
            port_.get_option(stop, error);
        }
        if (error) {
            return "cannot read the settings of " + connection_.port + " back: " + ErrorText(error);
        }
        const LineFormat held{size.value(),
                              parity.value() == asio::serial_port::parity::none   ? 'N'
                              : parity.value() == asio::serial_port::parity::even ? 'E'
                                                                                  : 'O',
                              stop.value() == asio::serial_port::stop_bits::one ? 1U : 2U};
        const LineFormat& asked = connection_.line;
        std::vector<std::string> refused;
        if (baud.value() != connection_.baud) {
            refused.push_back(std::to_string(connection_.baud) + " baud");
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
            return {};
        }
        std::string list = refused.front();
        for (std::size_t i = 1; i < refused.size(); ++i) {
            list += (i + 1 == refused.size() ? " and " : ", ") + refused[i];
        }
        return connection_.port + " refused " + list + ": the port is at " +
               std::to_string(baud.value()) + " " + LineText(held) +
               " (a pseudo-terminal, or an adapter that cannot do " + list +
               "; the controller would not understand it as it is)";
    }

    Attempt Collect(std::span<const std::uint8_t> request, Clock::time_point deadline) override {
        return connection_.mode == FrameMode::Ascii ? CollectAscii(request, deadline)
                                                    : CollectRtu(request, deadline);
    }

    std::string Send(std::span<const std::uint8_t> request, bool) override {
        DropPending();
        std::vector<std::uint8_t> frame;
        if (connection_.mode == FrameMode::Ascii) {
            const std::string text = modbus::AsciiFrame(connection_.slave, request);
            frame.assign(text.begin(), text.end());
            Log("> " + text.substr(0, text.size() - 2));
        } else {
            frame = modbus::RtuFrame(connection_.slave, request);
            Log("> " + modbus::RtuFrameText(frame));
        }
        if (const auto error = WriteAll(port_, frame)) {
            return "the port " + connection_.port + " failed: " + ErrorText(error);
        }
        return {};
    }

    Attempt CollectAscii(std::span<const std::uint8_t> request, Clock::time_point deadline) {
        modbus::AsciiFrameFinder finder;
        std::string problem;
        std::vector<std::uint8_t> buffer(512);
        while (true) {
            boost::system::error_code error;
            const std::size_t got = ReadBefore(port_, buffer, deadline, error);
            if (error) {
                return {AttemptKind::Lost, std::nullopt, LostText(error)};
            }
            if (got == 0) {
                if (finder.partial()) {
                    Log("< (a reply cut short: no CR LF came)");
                    problem = "a reply cut short";
                }
                return {AttemptKind::TimedOut, std::nullopt, std::move(problem)};
            }
            const std::size_t skipped = finder.skipped();
            finder.Add(std::span(buffer).first(got));
            if (finder.skipped() > skipped) {
                Log("< (" + std::to_string(finder.skipped() - skipped) +
                    " bytes outside any frame skipped)");
            }
            while (auto frame = finder.Next()) {
                Log("< " + frame->text + (frame->fault.empty() ? "" : "  (" + frame->fault + ")"));
                if (!frame->fault.empty()) {
                    return {AttemptKind::Broken, std::nullopt, frame->fault};
                }
                if (auto reply = AnswerFrom(request, *frame, problem)) {
                    return {AttemptKind::Answered, std::move(reply), {}};
                }
                Log("  (" + problem + ": not the answer)");
            }
        }
    }

    Attempt CollectRtu(std::span<const std::uint8_t> request, Clock::time_point deadline) {
        const auto silence = std::max<Clock::duration>(
            kShortestSilence, std::chrono::microseconds(modbus::RtuSilenceMicroseconds(
                                  connection_.baud, CharacterBits(connection_.line))));
        std::vector<std::uint8_t> received;
        std::string problem;
        std::vector<std::uint8_t> buffer(512);
        while (true) {
            const auto wait =
                received.empty() ? deadline : std::min(deadline, Clock::now() + silence);
            boost::system::error_code error;
            const std::size_t got = ReadBefore(port_, buffer, wait, error);
            if (error) {
                return {AttemptKind::Lost, std::nullopt, LostText(error)};
            }
            if (got == 0 && received.empty()) {
                return {AttemptKind::TimedOut, std::nullopt, std::move(problem)};
            }
            received.insert(received.end(), buffer.begin(),
                            buffer.begin() + static_cast<long>(got));
            const bool silent = got == 0 || Clock::now() >= deadline;
            const auto state = modbus::ReadRtuReply(received, request, silent);
            if (state.progress == modbus::RtuProgress::NeedMore) {
                continue;
            }
            const auto taken = std::span(received).first(std::min(state.size, received.size()));
            Log("< " + modbus::RtuFrameText(taken) +
                (state.frame.fault.empty() ? "" : "  (" + state.frame.fault + ")"));
            if (state.progress == modbus::RtuProgress::Broken) {
                return {AttemptKind::Broken, std::nullopt, state.frame.fault};
            }
            if (auto reply = AnswerFrom(request, state.frame, problem)) {
                return {AttemptKind::Answered, std::move(reply), {}};
            }
            Log("  (" + problem + ": not the answer)");
            received.erase(received.begin(), received.begin() + static_cast<long>(taken.size()));
        }
    }

    std::string LostText(const boost::system::error_code& error) const {
        return "the port " + connection_.port + " was lost: " + ErrorText(error);
    }

    // Bytes already waiting are no answer to what is about to be sent: a late reply, line noise.
    void DropPending() {
        std::vector<std::uint8_t> buffer(512);
        std::size_t dropped = 0;
        while (true) {
            boost::system::error_code error;
            const std::size_t got = ReadBefore(port_, buffer, Clock::now(), error, false);
            if (got == 0 || error) {
                break;
            }
            dropped += got;
        }
        if (dropped > 0) {
            Log("< (" + std::to_string(dropped) + " bytes that came before the request dropped)");
        }
    }

    asio::serial_port port_;
};

}  // namespace

std::unique_ptr<Link> MakeSerialLink(const Connection& connection, LogLine log) {
    return std::make_unique<SerialLink>(connection, std::move(log));
}

}  // namespace live
