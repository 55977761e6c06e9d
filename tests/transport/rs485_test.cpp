// RS-485 direction control on a recording port: which way each kind of port is driven, and that
// RTS is up for exactly a frame, with the delays asked for around it.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "transport/rs485.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A port that records every call on its lines, with when it came.
class RecordingPort final : public transport::DirectionControl {
  public:
    bool kernel = false;  // the driver has the kernel's RS-485 mode
    bool rts = true;      // the program may set RTS
    std::vector<std::pair<std::string, Clock::time_point>> calls;

    bool KernelMode(const transport::Rs485& settings) override {
        calls.push_back({"kernel " + std::to_string(settings.before.count()) + "/" +
                             std::to_string(settings.after.count()),
                         Clock::now()});
        return kernel;
    }
    bool SetRts(bool on) override {
        calls.push_back({on ? "rts on" : "rts off", Clock::now()});
        return rts;
    }
    void Drain() override { calls.push_back({"drain", Clock::now()}); }

    std::string Names() const {
        std::string names;
        for (const auto& [name, at] : calls) {
            names += (names.empty() ? "" : ", ") + name;
        }
        return names;
    }
};

const transport::Rs485 kDelays{true, 3ms, 2ms};

TEST(StartRs485, TakesTheKernelsModeThenRtsThenSaysNeither) {
    struct Row {
        bool kernel, rts;
        const char* calls;
        const char* outcome;
    };
    for (const Row& row : {
             Row{true, true, "kernel 3000/2000", "kernel"},
             Row{false, true, "kernel 3000/2000, rts off", "rts"},
             Row{false, false, "kernel 3000/2000, rts off",
                 "/dev/pts/7 has neither the kernel's RS-485 mode nor an RTS line the program can "
                 "set: --rs485 cannot drive it (an adapter that switches by itself needs no "
                 "--rs485)"},
         }) {
        RecordingPort port;
        port.kernel = row.kernel;
        port.rts = row.rts;
        const auto way = transport::StartRs485(port, kDelays, "/dev/pts/7");
        const auto* failure = std::get_if<text::Failure>(&way);
        const std::string outcome =
            failure != nullptr                                                  ? failure->message
            : std::get<transport::Rs485Way>(way) == transport::Rs485Way::Kernel ? "kernel"
                                                                                : "rts";
        EXPECT_EQ(outcome, row.outcome);
        EXPECT_EQ(port.Names(), row.calls);
    }
}

TEST(SendWithRts, RaisesRtsForExactlyTheFrameAndItsDelays) {
    RecordingPort port;
    const auto sleep = [](std::chrono::microseconds time) { std::this_thread::sleep_for(time); };
    const bool sent = transport::SendWithRts(
        port, kDelays,
        [&] {
            port.calls.push_back({"write", Clock::now()});
            return true;
        },
        sleep);
    EXPECT_TRUE(sent);
    ASSERT_EQ(port.Names(), "rts on, write, drain, rts off");
    EXPECT_GE(port.calls[1].second - port.calls[0].second, 3ms);  // before the first bit
    EXPECT_GE(port.calls[3].second - port.calls[2].second, 2ms);  // after the last

    RecordingPort failing;
    EXPECT_FALSE(transport::SendWithRts(
        failing, kDelays, [] { return false; }, sleep));
    EXPECT_EQ(failing.Names(), "rts on, rts off") << "RTS is dropped after a failed write";
}

}  // namespace
