// The plans of writes: neighbours together, each request saying which assignments it carries, and
// an entry that cannot be written refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "scan/write_plan.h"
#include "test_names.h"

namespace {

using conversion::MapEntry;
using conversion::ModbusTable;

constexpr auto Input = ModbusTable::DiscreteInput, Register = ModbusTable::HoldingRegister;

// "10 1064 1 2 3": code, start and values; a long list of values as its count ("x123").
std::string Shown(const std::vector<scan::PlannedWrite>& plan) {
    std::string text;
    for (const auto& [request, carried] : plan) {
        char head[16];
        std::snprintf(head, sizeof head, "%02X %04X", static_cast<unsigned>(request.function),
                      request.start);
        text += (text.empty() ? "" : ", ") + std::string(head);
        if (request.values.size() > 4) {
            text += " x" + std::to_string(request.values.size());
            continue;
        }
        for (const auto value : request.values) {
            text += " " + std::to_string(value);
        }
    }
    return text;
}

struct WriteCase {
    const char* name;
    std::vector<std::string> assignments;
    std::string plan;  // or the message of a refusal
    scan::WriteCodes codes = scan::WriteCodes::Fewest;
};
ZENTRIQ_PRINT_ROW_AS_NAME(WriteCase)

class PlanWritesTest : public testing::TestWithParam<WriteCase> {};

TEST_P(PlanWritesTest, GroupsNeighboursAndRefusesAnEntryTwice) {
    const auto& row = GetParam();
    std::vector<conversion::Assignment> assignments;
    for (const auto& text : row.assignments) {
        const auto read = conversion::ReadAssignment(text);
        ASSERT_TRUE(std::holds_alternative<conversion::Assignment>(read)) << text;
        assignments.push_back(std::get<conversion::Assignment>(read));
    }
    const auto plan = scan::PlanWrites(assignments, row.codes);
    const auto* requests = std::get_if<std::vector<scan::PlannedWrite>>(&plan);
    EXPECT_EQ(requests ? Shown(*requests) : std::get<text::Failure>(plan).message, row.plan);
}

const WriteCase kWriteCases[] = {
    {"Nothing", {}, ""},
    {"OneRegister", {"D100=250"}, "06 1064 250"},
    {"OneCoil", {"Y0=on"}, "05 0500 1"},
    {"NeighboursInAnyOrder", {"D102=3", "D100=1", "D101=2"}, "10 1064 1 2 3"},
    {"CoilsFirst", {"D100=7", "M1=off", "M0=on"}, "0F 0800 1 0, 06 1064 7"},
    {"GapSplits", {"D100=1", "D102=2"}, "06 1064 1, 06 1066 2"},
    {"CoilsOfTwoLettersSideBySide", {"Y377=1", "T0=on"}, "0F 05FF 1 1"},
    {"ContactAndValueAreTwoEntries", {"T0=on", "401537=5"}, "05 0600 1, 06 0600 5"},
    {"Twice", {"D100=1", "D101=1", "404197=2"}, "D100 is assigned twice"},
    {"SingleSendsNeighboursApart",
     {"D101=2", "D100=1", "M0=on"},
     "05 0800 1, 06 1064 1, 06 1065 2",
     scan::WriteCodes::Single},
    {"MultipleEvenForOne", {"D100=1", "Y0=on"}, "0F 0500 1, 10 1064 1", scan::WriteCodes::Multiple},
};
INSTANTIATE_TEST_SUITE_P(Plans, PlanWritesTest, testing::ValuesIn(kWriteCases), RowName<WriteCase>);

TEST(PlanWrites, SplitsAtTheMostItemsOfARequest) {
    const auto all = [](const char* range) {
        std::vector<conversion::Assignment> assignments;
        for (const MapEntry& entry : conversion::ReadItem(range).entries) {
            assignments.push_back({entry, 1});
        }
        const auto plan = scan::PlanWrites(assignments);
        return Shown(std::get<std::vector<scan::PlannedWrite>>(plan));
    };
    EXPECT_EQ(all("D0-D123"), "10 1000 x123, 06 107B 1");
    EXPECT_EQ(all("D0-D246"), "10 1000 x123, 10 107B x123, 06 10F6 1");
    EXPECT_EQ(all("M1536-M3504"), "0F B000 x1968, 05 B7B0 1");
}

TEST(PlanWrites, SaysWhichAssignmentsEachRequestCarries) {
    std::vector<conversion::Assignment> assignments;
    for (const char* text : {"D101=2", "M1=off", "D100=1", "D300=5", "M0=on"}) {
        assignments.push_back(std::get<conversion::Assignment>(conversion::ReadAssignment(text)));
    }
    const auto plan = std::get<std::vector<scan::PlannedWrite>>(scan::PlanWrites(assignments));
    std::string carried;
    for (const auto& planned : plan) {
        carried += carried.empty() ? "" : " | ";
        for (const std::size_t i : planned.assignments) {
            carried += std::to_string(i);
        }
    }
    // M0 M1 by 15; D100 D101 by 16; D300 by 06: each by address, as the values are sent.
    EXPECT_EQ(Shown(plan), "0F 0800 1 0, 10 1064 1 2, 06 112C 5");
    EXPECT_EQ(carried, "41 | 20 | 3");
}

TEST(PlanWrites, RefusesEntriesThatCannotBeWritten) {
    const auto plan = [](const char* item, ModbusTable table) {
        const conversion::Assignment input{conversion::ReadItem(item, table).entries.at(0), 1};
        return std::get<text::Failure>(scan::PlanWrites({&input, 1})).message;
    };
    EXPECT_EQ(plan("X0", Input), "X0 is read as an input and cannot be written");
    EXPECT_EQ(plan("Y0", Input), "Y0 is read as an input and cannot be written");
    EXPECT_EQ(plan("C200", Register), "C200 holds a 32-bit value and is not written");
}

}  // namespace
