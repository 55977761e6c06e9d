// The function codes' shapes and names alone, without the address map.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "modbus/function_codes.h"
#include "modbus/function_data.h"
#include "test_names.h"

namespace {

struct ProblemCase {
    const char* name;
    std::uint8_t function;
    std::vector<std::uint8_t> data;
    std::string problem;
};
ZENTRIQ_PRINT_ROW_AS_NAME(ProblemCase)

class ReadFrameDataTest : public testing::TestWithParam<ProblemCase> {};

TEST_P(ReadFrameDataTest, SaysWhyTheDataFitsNoShape) {
    const auto shape = modbus::ReadFrameData(GetParam().function, GetParam().data);
    EXPECT_TRUE(shape.readings.empty());
    EXPECT_EQ(shape.message, GetParam().problem);
}

const ProblemCase kProblemCases[] = {
    {"ShortRead",
     0x03,
     {0x10, 0x64, 0x00},
     "function 3 (0x03) request needs 4 data bytes, frame has 3; as a response, its byte count "
     "says 16 bytes follow, frame has 2"},
    {"OddRegisterBytes",
     0x03,
     {0x01, 0x00},
     "function 3 (0x03) request needs 4 data bytes, frame has 2; as a response, its byte count 1 "
     "is odd, but registers take 2 bytes each"},
    {"ByteCountTooLarge",
     0x0F,
     {0x05, 0x00, 0x00, 0x0A, 0x02, 0xCD},
     "function 15 (0x0F) request says 2 data bytes follow, frame has 1"},
    {"ByteCountAgainstQuantity",
     0x0F,
     {0x05, 0x00, 0x00, 0x0A, 0x03, 0xCD, 0x01, 0x00},
     "function 15 (0x0F) request for 10 coils needs 2 data bytes, its byte count says 3"},
    {"OneRegisterAgainstByteCount",
     0x10,
     {0x10, 0x00, 0x00, 0x01, 0x04, 0x00, 0x01, 0x00, 0x02},
     "function 16 (0x10) request for 1 register needs 2 data bytes, its byte count says 4"},
    {"LongException",
     0x83,
     {0x02, 0x00},
     "exception response to function 3 (0x03) needs 1 data byte, frame has 2"},
};
INSTANTIATE_TEST_SUITE_P(Data, ReadFrameDataTest, testing::ValuesIn(kProblemCases),
                         RowName<ProblemCase>);

struct NameCase {
    const char* name;
    std::uint8_t function;
    std::string_view function_name;
    std::string text;
};
ZENTRIQ_PRINT_ROW_AS_NAME(NameCase)

class FunctionNameTest : public testing::TestWithParam<NameCase> {};

TEST_P(FunctionNameTest, NamesTheCodeAndWritesItOneWay) {
    const auto& row = GetParam();
    EXPECT_EQ(modbus::FunctionName(row.function), row.function_name);
    EXPECT_EQ(modbus::FunctionText(modbus::CodeOf(row.function)), row.text);
}

const NameCase kNameCases[] = {
    {"ControllersOwnWords", 0x01, "read coil status", "function 1 (0x01)"},
    {"TwoHexDigits", 0x0F, "force multiple coils", "function 15 (0x0F)"},
    {"NotAcceptedButPublic", 0x04, "read input registers", "function 4 (0x04)"},
    {"Diagnostics", 0x08, "diagnostics", "function 8 (0x08)"},
    {"Encapsulated", 0x2B, "encapsulated interface transport", "function 43 (0x2B)"},
    {"ExceptionNamesWhatItAnswers", 0x84, "read input registers", "function 4 (0x04)"},
    {"NoPublicName", 0x41, "", "function 65 (0x41)"},
};
INSTANTIATE_TEST_SUITE_P(Codes, FunctionNameTest, testing::ValuesIn(kNameCases), RowName<NameCase>);

}  // namespace
