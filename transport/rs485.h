// Driving an RS-485 bus through an adapter that does not switch its transmitter by itself: either
// the kernel's RS-485 mode, where the port's driver has it (RTS raised while a frame goes out, with
// the delays asked for), or the program raising RTS around each request's frame. The port's
// control lines sit behind DirectionControl, so that the order and timing of the calls can be
// checked on a recording port.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "text/failure.h"
#include "transport/connection.h"

namespace transport {

// The control lines of an open serial port.
class DirectionControl {
  public:
    virtual ~DirectionControl() = default;
    // Asks the driver to drive the transmitter itself (RTS on while sending, `before` ahead of the
    // first bit, `after` past the last): whether it took it.
    virtual bool KernelMode(const Rs485& settings) = 0;
    // Raises or drops RTS: false when the port has no RTS it lets the program set.
    virtual bool SetRts(bool on) = 0;
    // Returns once every byte written has left the port, its last stop bit included.
    virtual void Drain() = 0;
};

// How a port switches its transmitter.
enum class Rs485Way { Kernel, Rts };

// Sets `control` up for `settings`: the kernel's mode when the driver takes it, else RTS by the
// program (dropped to start with); or, on a port that has neither, why ("/dev/ttyS0 has neither
// the kernel's RS-485 mode nor an RTS line the program can set: --rs485 cannot drive it").
text::Result<Rs485Way> StartRs485(DirectionControl& control, const Rs485& settings,
                                  const std::string& port);

// Sends a frame with `write` (false: the write failed) on an RS-485 bus switched by RTS: RTS up,
// `settings.before`, the frame, the port drained, `settings.after`, RTS down, so that the
// transmitter is on for exactly the frame and the line is free for the reply. `wait` waits a
// time. Gives what `write` gave; RTS is dropped whatever happened.
bool SendWithRts(DirectionControl& control, const Rs485& settings,
                 const std::function<bool()>& write,
                 const std::function<void(std::chrono::microseconds)>& wait);

}  // namespace transport
