// zentriq-poll's commands in-process: a read, a write and a watch over a fake controller, their
// results and messages caught in strings, and the exit status each gives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../scan/fake_controller.h"
#include "poll/commands.h"

namespace {

struct Caught {
    std::string out;
    std::string err;
    console::Output output{[this](std::string_view text) {
        out += text;
        return true;
    }};
    console::Messages messages{"zentriq-poll", [this](std::string_view text) {
                                   err += text;
                                   return true;
                               }};
    poll::Streams streams{output, messages};
};

poll::Options CsvOverTcp() {
    poll::Options options;
    options.connection.tcp = true;
    options.connection.host = "127.0.0.1";
    options.format = poll::Format::Csv;
    return options;
}

std::vector<scan::AskedValue> Asked(std::vector<std::string> items) {
    auto read = scan::ReadAskedItems(items, std::nullopt, conversion::BareNumbers::Any,
                                     [](const std::string&) {});
    return std::get<std::vector<scan::AskedValue>>(read);
}

constexpr const char* kHeader = "device,table,address,value,hex,note,error\n";

TEST(PollCommands, ReadWritesEveryValueAndSaysEveryFailure) {
    FakeController controller;
    controller.missing = {0x1065};  // D101
    Caught run;
    const int status =
        poll::Read(CsvOverTcp(), Asked({"D100-D102", "M1"}), controller, run.streams);
    EXPECT_EQ(status, console::kExitPartly);
    EXPECT_EQ(run.out, std::string(kHeader) +
                           "D100,holding register,1064,100,0x0064,,\n"
                           "D101,holding register,1065,,,,the controller answered exception 02 "
                           "(illegal data address)\n"
                           "D102,holding register,1066,102,0x0066,,\n"
                           "M1,coil,0801,1,,,\n");
    EXPECT_EQ(run.err,
              "zentriq-poll: D101: the controller answered exception 02 (illegal data address)\n");
}

TEST(PollCommands, ASilentLineEndsTheReadAndSaysWhatToCheck) {
    FakeController controller;
    controller.silent = true;
    Caught run;
    EXPECT_EQ(poll::Read(CsvOverTcp(), Asked({"D100", "M0"}), controller, run.streams),
              console::kExitPartly);
    // Coils are read first: M0's request meets the silence, and D100's is not sent.
    EXPECT_EQ(controller.sent.size(), 1U) << "nothing after the silent request";
    EXPECT_NE(run.err.find("zentriq-poll: D100: not read: the controller did not answer M0\n"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("check --slave"), std::string::npos) << run.err;
}

TEST(PollCommands, WriteShowsWhatWasWrittenBesideWhatReadsBack) {
    FakeController controller;
    auto writes = scan::ReadAskedWrites({"D100=250", "Y0=1"}, std::nullopt,
                                        conversion::BareNumbers::Any, scan::WriteCodes::Fewest);
    const auto& asked = std::get<scan::AskedWrites>(writes);
    Caught run;
    const int status = poll::Write(CsvOverTcp(), asked.assignments, asked.requests, asked.written,
                                   controller, run.streams);
    EXPECT_EQ(status, console::kExitDone) << run.err;
    EXPECT_EQ(controller.held.at(0x1064), 250);
    EXPECT_EQ(controller.held.at(0x0500), 1);
    EXPECT_EQ(run.out,
              "device,table,address,written,value,hex,note,error\n"
              "D100,holding register,1064,250,250,0x00FA,,\n"
              "Y0,coil,0500,1,1,,,\n");
    EXPECT_EQ(run.err, "");
}

TEST(PollCommands, AWatchScansAsOftenAsCounted) {
    FakeController controller;
    auto options = CsvOverTcp();
    options.count = 3;
    options.interval = std::chrono::milliseconds(0);
    Caught run;
    const int status = poll::Watch(
        options, Asked({"D100"}), controller, [] { return false; }, [] { return false; },
        run.streams);
    EXPECT_EQ(status, console::kExitDone) << run.err;
    EXPECT_EQ(controller.sent.size(), 3U);
    std::size_t rows = 0;
    for (std::size_t at = run.out.find("D100,"); at != std::string::npos;
         at = run.out.find("D100,", at + 1)) {
        ++rows;
    }
    EXPECT_EQ(rows, 3U) << run.out;
}

}  // namespace
