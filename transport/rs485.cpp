#include "transport/rs485.h"

namespace transport {

text::Result<Rs485Way> StartRs485(DirectionControl& control, const Rs485& settings,
                                  const std::string& port) {
    if (control.KernelMode(settings)) {
        return Rs485Way::Kernel;
    }
    if (control.SetRts(false)) {
        return Rs485Way::Rts;
    }
    return text::Failure{port +
                         " has neither the kernel's RS-485 mode nor an RTS line the program can "
                         "set: --rs485 cannot drive it (an adapter that switches by itself needs "
                         "no --rs485)"};
}

bool SendWithRts(DirectionControl& control, const Rs485& settings,
                 const std::function<bool()>& write,
                 const std::function<void(std::chrono::microseconds)>& wait) {
    control.SetRts(true);
    if (settings.before.count() > 0) {
        wait(settings.before);
    }
    const bool written = write();
    if (written) {
        control.Drain();
        if (settings.after.count() > 0) {
            wait(settings.after);
        }
    }
    control.SetRts(false);
    return written;
}

}  // namespace transport
