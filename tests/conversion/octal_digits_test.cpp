#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "conversion/octal_digits.h"
#include "test_names.h"

namespace {

using conversion::ConvertOctalToDecimal;

struct OctalCase {
    const char* name;
    std::string digits;
    std::optional<std::string> expected;
};
ZENTRIQ_PRINT_ROW_AS_NAME(OctalCase)

class ConvertOctalToDecimalTest : public testing::TestWithParam<OctalCase> {};

TEST_P(ConvertOctalToDecimalTest, ReadsDigitsInBaseEight) {
    EXPECT_EQ(ConvertOctalToDecimal(GetParam().digits), GetParam().expected);
}

const OctalCase kOctalCases[] = {
    {"Zero", "0", "0"},
    {"Seven", "7", "7"},
    {"Ten", "10", "8"},
    {"Seventeen", "17", "15"},
    {"ThreeSevens", "377", "255"},
    {"EightAtFaceValue", "8", "8"},
    {"NineteenAtFaceValue", "19", "17"},
    {"Empty", "", "0"},
    {"LeadingZeros", "0017", "15"},
    {"ManyZeros", std::string(5000, '0'), "0"},
    {"ElevenDigits", "17777777777", "2147483647"},
    {"LargestExact", "77777777777777777", "2251799813685247"},
    {"PowerOfEightBeyondLongLong", "1" + std::string(30, '0'), "1237940039285380274899124224"},
    {"Minus", "-1", std::nullopt},
    {"Point", "1.5", std::nullopt},
    {"Blank", "1 2", std::nullopt},
    {"Letter", "1a", std::nullopt},
    {"Nul", std::string("1\0", 2), std::nullopt},
    {"TooLargeForADouble", "1" + std::string(400, '0'), std::nullopt},
};
INSTANTIATE_TEST_SUITE_P(Texts, ConvertOctalToDecimalTest, testing::ValuesIn(kOctalCases),
                         RowName<OctalCase>);

TEST(ConvertOctalToDecimal, TenMegabytesOfDigitsGiveNothing) {
    EXPECT_EQ(ConvertOctalToDecimal(std::string(10u << 20, '7')), std::nullopt);
    EXPECT_EQ(ConvertOctalToDecimal(std::string(10u << 20, '0')), "0");
}

}  // namespace
