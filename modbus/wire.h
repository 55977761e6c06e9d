// Frames as they travel on the wire, one place for each transport: Modbus ASCII (':' and hex, the
// LRC, CR LF), Modbus RTU (bytes and the CRC, a frame ended by the line's silence) and Modbus TCP
// (the MBAP header before the unit and PDU). Writing a frame, and finding the frames in the bytes a
// port delivers, whatever arrives between them.
//
// Nothing here touches a port or a clock: the caller reads, and says when the line went silent.
// Nothing throws (but std::bad_alloc when memory runs out).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "modbus/frame_mode.h"

namespace modbus {

// A frame found on the wire: its slave (unit) address and PDU, or what is wrong with it.
struct WireFrame {
    std::uint8_t slave = 0;
    std::vector<std::uint8_t> pdu;  // function code and data
    std::string fault;  // empty for a sound frame: "LRC 4B expected, frame says 4C", ...
    // A frame that stopped short (its silence or the next ':' came first): the rest of a reply may
    // still be under way, where a frame that arrived whole, sound or not, was the station's turn.
    bool cut = false;
    std::string text;   // the frame as --verbose shows it (pasteable into --frame)
    std::uint16_t transaction = 0;  // TCP only
};

// What every transport's finder does, so that one loop reads replies whatever the line: bytes go
// in as the line delivers them, in pieces of any size, and frames come out in the order they
// arrived, each sound or with its fault.
class FrameFinder {
  public:
    virtual ~FrameFinder() = default;

    // The request whose reply comes next (a PDU): an RTU frame carries no length of its own, so
    // its end follows from the request. The other finders need nothing.
    virtual void Expect(std::span<const std::uint8_t> request_pdu);
    virtual void Add(std::span<const std::uint8_t> bytes) = 0;
    // The line has been silent since the last bytes added. Where silence ends a frame (RTU), the
    // bytes held become one, sound or not; elsewhere nothing changes.
    virtual void Silence();
    // Whether a silence ends a frame on this transport, so that the caller times one.
    virtual bool ends_at_silence() const noexcept;

    // The next frame found, in the order they arrived.
    std::optional<WireFrame> Next();
    // Whether a frame has begun and not ended: after a timeout, a reply cut short.
    virtual bool partial() const noexcept = 0;
    // Whether the stream can no longer be followed (a TCP header no frame has): the caller
    // connects again.
    bool lost() const noexcept { return lost_; }
    // Bytes skipped outside any frame since the start.
    std::size_t skipped() const noexcept { return skipped_; }
    // Forgets everything received: before a request is sent again. skipped() keeps counting.
    virtual void Clear();

  protected:
    void Found(WireFrame frame);

    std::size_t skipped_ = 0;
    bool lost_ = false;

  private:
    std::vector<WireFrame> found_;
    std::size_t next_ = 0;
};

// The slave (unit) address followed by the PDU: what a serial frame's checksum covers.
std::vector<std::uint8_t> SlaveAndPdu(std::uint8_t slave, std::span<const std::uint8_t> pdu);

// The finder of a serial line's frames in `mode`. `by_length`: an RTU frame whose size its request
// tells ends at that size, never at a gap between the bytes (over TCP, where a gap between
// segments says nothing of where a frame ends); only a frame of no known size ends at a silence.
std::unique_ptr<FrameFinder> SerialFrameFinder(FrameMode mode, bool by_length = false);

// ---- Modbus ASCII ----

// ':' and the upper-case hex of slave, PDU and LRC, then CR LF.
std::string AsciiFrame(std::uint8_t slave, std::span<const std::uint8_t> pdu);

// Finds ASCII frames in what a serial port delivers. Bytes before a ':' are skipped (line noise,
// an echo); a ':' inside a frame starts a new one, the unfinished one given as a fault; a frame
// ends at its LF (a CR before it expected). A frame with characters that are no hex digits, an
// odd number of them, fewer than slave, function and LRC, or a wrong LRC is given with a fault. A
// frame longer than 513 characters (the longest the protocol has) is given as a fault at that
// length rather than kept growing.
class AsciiFrameFinder final : public FrameFinder {
  public:
    void Add(std::span<const std::uint8_t> bytes) override;
    bool partial() const noexcept override { return in_frame_; }
    void Clear() override;

  private:
    std::string partial_;
    bool in_frame_ = false;
};

// ---- Modbus RTU ----

// Slave, PDU, then the CRC low byte first.
std::vector<std::uint8_t> RtuFrame(std::uint8_t slave, std::span<const std::uint8_t> pdu);

// The silence that ends an RTU frame: 3.5 character times at `baud` with `bits_per_character`
// bits (start, data, parity and stop bits), and at least 1750 microseconds above 19200 baud, as
// the protocol fixes it. In microseconds, rounded up; a baud of 0 counts as 1.
std::uint32_t RtuSilenceMicroseconds(std::uint32_t baud, std::uint32_t bits_per_character) noexcept;

enum class RtuProgress : std::uint8_t {
    NeedMore,  // the bytes so far may still become the reply
    Complete,  // a whole frame: `frame` holds it
    Broken,    // the bytes cannot become a sound frame: `frame.fault` says why
};

struct RtuReplyState {
    RtuProgress progress = RtuProgress::NeedMore;
    std::size_t size = 0;  // the bytes the frame took, Complete or Broken
    WireFrame frame;
};

// Reads `received`, the bytes that arrived since `request_pdu` was sent, as an RTU reply: its size
// follows from the request (ReplyPduSize) or, with the exception bit in its function byte, is 5.
// `silent` says the line has gone silent after these bytes: an incomplete frame is then Broken
// ("the reply stopped after 4 of 9 bytes"). A frame whose CRC is wrong is Broken. A complete
// frame is given whatever slave it comes from and whatever it answers: the caller checks. Nothing
// received is NeedMore whatever `silent` says: the response timeout, not the silence, ends that
// wait. For a request whose reply size cannot be told, the silence ends the frame.
RtuReplyState ReadRtuReply(std::span<const std::uint8_t> received,
                           std::span<const std::uint8_t> request_pdu, bool silent);

// Finds RTU replies to the request Expect() names, with ReadRtuReply: a frame ends at the size its
// request gives it or, when that cannot be told or the bytes stop short, at the line's silence.
// A frame that is complete is given whatever slave it comes from and whatever it answers.
class RtuFrameFinder final : public FrameFinder {
  public:
    explicit RtuFrameFinder(bool by_length = false) noexcept : by_length_(by_length) {}

    void Expect(std::span<const std::uint8_t> request_pdu) override;
    void Add(std::span<const std::uint8_t> bytes) override;
    void Silence() override;
    bool ends_at_silence() const noexcept override { return !by_length_ || !SizeKnown(); }
    bool partial() const noexcept override { return !received_.empty(); }
    void Clear() override;

  private:
    void Take(bool silent);
    // Whether the frame under way has a size its request (or its exception bit) gives.
    bool SizeKnown() const noexcept;

    bool by_length_;
    std::vector<std::uint8_t> request_;
    std::vector<std::uint8_t> received_;
};

// The frame as --verbose shows it: its bytes as sent or received, the CRC included, in hex, as
// zentriq-lookup --frame reads them.
std::string RtuFrameText(std::span<const std::uint8_t> frame);

// ---- Modbus TCP ----

// The MBAP header (transaction, protocol 0, length of unit and PDU, unit) and the PDU. Empty for
// an empty PDU or one over 253 bytes: no Modbus frame carries either.
std::vector<std::uint8_t> TcpFrame(std::uint16_t transaction, std::uint8_t unit,
                                   std::span<const std::uint8_t> pdu);

// Finds TCP frames in a stream. A header whose protocol is not 0 or whose length is below 2 or
// above 254 (no Modbus frame is) is given as a fault, after which the stream cannot be followed:
// lost(). Bytes of a frame not yet whole are partial(): after a timeout, a reply cut short, after
// which the stream cannot be followed either.
class TcpFrameFinder final : public FrameFinder {
  public:
    void Add(std::span<const std::uint8_t> bytes) override;
    bool partial() const noexcept override { return !pending_.empty(); }
    void Clear() override;

  private:
    std::vector<std::uint8_t> pending_;
};

// The text --verbose shows for a TCP frame: its unit and PDU as an RTU frame with the CRC added,
// so zentriq-lookup --frame reads it, after the header: "[tcp 0001] 01 03 10 64 00 02 81 14".
std::string TcpFrameText(std::uint16_t transaction, std::uint8_t unit,
                         std::span<const std::uint8_t> pdu);

}  // namespace modbus
