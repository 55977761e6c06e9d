// How an AsioLink reads what the line sends: bytes through the transport's frame finder into
// frames, each frame told apart as the answer to this request, an echo, a reply owed to an earlier
// try, or a whole frame that ends this try; and what came before a request, dropped.
#include <array>

#include "transport/asio_link.h"

namespace transport {

namespace {

// What one read takes from the line at most: more than the longest frame of any transport.
constexpr std::size_t kReadChunk = 1024;

}  // namespace

void AsioLink::DropPending() {
    finder_->Clear();
    std::array<std::uint8_t, kReadChunk> buffer{};
    std::size_t dropped = 0;
    while (true) {
        boost::system::error_code error;
        const std::size_t got = ReadSome(buffer, Clock::now(), error);
        if (got == 0 || error) {
            break;
        }
        Heard(false);
        dropped += got;
    }
    if (dropped > 0) {
        Log("< (" + std::to_string(dropped) + " bytes that came before the request dropped)");
    }
}

std::vector<std::uint8_t> AsioLink::SerialFrame(std::uint8_t station,
                                                std::span<const std::uint8_t> request) const {
    if (connection_.mode == modbus::FrameMode::Ascii) {
        const std::string text = modbus::AsciiFrame(station, request);
        Log("> " + text.substr(0, text.size() - 2));
        return {text.begin(), text.end()};
    }
    auto frame = modbus::RtuFrame(station, request);
    Log("> " + modbus::RtuFrameText(frame));
    return frame;
}

Attempt AsioLink::Collect(std::uint8_t station, std::span<const std::uint8_t> request,
                          Clock::time_point deadline) {
    finder_->Expect(request);
    std::string problem;  // what came instead of the answer
    std::array<std::uint8_t, kReadChunk> buffer{};
    while (true) {
        const bool timing_silence = finder_->ends_at_silence() && finder_->partial();
        const auto wait = timing_silence ? std::min(deadline, Clock::now() + silence_) : deadline;
        boost::system::error_code error;
        const std::size_t got = ReadSome(buffer, wait, error);
        if (error) {
            return ReadFailed(error);
        }
        if (got == 0 && !timing_silence) {
            if (finder_->partial()) {
                CutShort();
                return {AttemptKind::Cut, std::nullopt, "a reply cut short", {}};
            }
            return {AttemptKind::TimedOut, std::nullopt, std::move(problem), {}};
        }
        if (got > 0) {
            Heard(true);
            const std::size_t skipped = finder_->skipped();
            finder_->Add(std::span(buffer).first(got));
            if (finder_->skipped() > skipped) {
                Log("< (" + std::to_string(finder_->skipped() - skipped) +
                    " bytes outside any frame skipped)");
            }
        }
        if (got == 0 || Clock::now() >= deadline) {
            finder_->Silence();
        }
        while (auto frame = finder_->Next()) {
            Log("< " + frame->text + (frame->fault.empty() ? "" : "  (" + frame->fault + ")"));
            if (!frame->fault.empty()) {
                if (finder_->lost()) {
                    Close();
                }
                return {frame->cut ? AttemptKind::Cut : AttemptKind::Broken,
                        std::nullopt,
                        frame->fault,
                        {}};
            }
            if (auto reply = AnswerFrom(station, request, *frame, problem)) {
                return {AttemptKind::Answered, std::move(reply), {}, std::move(frame->pdu)};
            }
            Log("  (" + problem + ": not the answer)");
            if (IsEcho(station, request, *frame) || !OfThisRequest(*frame)) {
                // An adapter's echo of the request, or over Modbus TCP a reply to an earlier
                // transaction: the answer may still come.
                continue;
            }
            // A whole frame from another station, or answering another request, in this try's
            // turn: on a serial line only one speaks at a time, and over Modbus TCP this
            // transaction has had its answer, so this try's will not come.
            return {AttemptKind::Broken, std::nullopt, std::move(problem), {}};
        }
    }
}

std::optional<modbus::Reply> AsioLink::AnswerFrom(std::uint8_t station,
                                                  std::span<const std::uint8_t> request,
                                                  const modbus::WireFrame& frame,
                                                  std::string& problem) const {
    if (!OfThisRequest(frame)) {
        const auto tries_sent = static_cast<std::uint16_t>(try_number_ - first_try_number_);
        problem = "a reply to transaction " + std::to_string(frame.transaction) +
                  ", not to transaction " + std::to_string(first_try_number_) +
                  (tries_sent == 0 ? "" : "-" + std::to_string(try_number_));
        return std::nullopt;
    }
    if (frame.slave != station) {
        const char* name = ModbusTcpFrames(connection_) ? "unit " : "slave ";
        problem = std::string("a reply from ") + name + std::to_string(frame.slave) + ", not " +
                  name + std::to_string(station);
        return std::nullopt;
    }
    auto reply = modbus::ReadReply(request, frame.pdu);
    if (reply.kind == modbus::ReplyKind::Unrelated) {
        problem = reply.message;
        return std::nullopt;
    }
    return reply;
}

bool AsioLink::OfThisRequest(const modbus::WireFrame& frame) const {
    if (!ModbusTcpFrames(connection_)) {
        return true;  // a serial frame carries no transaction
    }
    // Transaction numbers wrap: the tries of this request are the last few before it. A late
    // reply to an earlier try answers it as well as the last try's would.
    const auto since_first = static_cast<std::uint16_t>(frame.transaction - first_try_number_);
    const auto tries_sent = static_cast<std::uint16_t>(try_number_ - first_try_number_);
    return since_first <= tries_sent;
}

bool AsioLink::IsEcho(std::uint8_t station, std::span<const std::uint8_t> request,
                      const modbus::WireFrame& frame) {
    return frame.slave == station &&
           std::equal(frame.pdu.begin(), frame.pdu.end(), request.begin(), request.end());
}

void AsioLink::Heard(bool answering) noexcept {
    if (answering) {
        ++bytes_heard_;
    }
    last_byte_ = Clock::now();
    owed_.Heard(last_byte_);
}

}  // namespace transport
