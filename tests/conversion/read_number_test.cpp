#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

#include "conversion/address_map.h"
#include "test_names.h"

namespace {

using conversion::ReadDeviceNumber;

struct ReadCase {
    const char* name;
    std::string text;
    double expected;
};
ZENTRIQ_PRINT_ROW_AS_NAME(ReadCase)

class ReadDeviceNumberTest : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadDeviceNumberTest, ReadsTheLeadingNumber) {
    const ReadCase& c = GetParam();
    EXPECT_EQ(ReadDeviceNumber(c.text), c.expected) << "text: \"" << c.text << '"';
}

const ReadCase kReadCases[] = {
    {"Empty", "", 0.0},
    {"BlanksOnly", " \t  ", 0.0},
    {"Zero", "0", 0.0},
    {"Plain", "17", 17.0},
    {"LeadingZeros", "017", 17.0},
    {"LeadingSpacesAndTabs", " \t 42", 42.0},
    {"TrailingLetters", "12abc", 12.0},
    {"TrailingBlank", "12 ", 12.0},
    {"BlankInsideEndsTheNumber", "1 2", 1.0},
    {"LeadingPoint", ".5", 0.5},
    {"TrailingPoint", "5.", 5.0},
    {"SecondPointEnds", "1.2.3", 1.2},
    {"LonePoint", ".", 0.0},
    {"Minus", "-1", -1.0},
    {"MinusPoint", "-.5", -0.5},
    {"Plus", "+7", 7.0},
    {"LoneSign", "-", 0.0},
    {"SignThenBlank", "- 5", 0.0},
    {"TwoSigns", "+-5", 0.0},
    {"NoExponent", "1e3", 1.0},
    {"NoExponentAfterPoint", "2.5E2", 2.5},
    {"NoHexPrefix", "0x10", 0.0},
    {"NoBasicHexPrefix", "&H10", 0.0},
    {"NoInfinityWord", "inf", 0.0},
    {"NoNanWord", "nan", 0.0},
    {"Letters", "abc", 0.0},
    {"CommaIsNotAPoint", "1,5", 1.0},
    {"NewlineIsNotSkipped", "\n5", 0.0},
    {"NonBreakingSpaceIsNotSkipped",
     "\xC2\xA0"
     "5",
     0.0},
    {"FullWidthDigitIsNotADigit", "\xEF\xBC\x95", 0.0},
    {"NulEndsTheNumber",
     std::string("12\0"
                 "34",
                 5),
     12.0},
    {"NearestDouble", "0.1", 0.1},
    {"LongestExactInteger", "9007199254740993", 9007199254740992.0},  // ties to even
    {"LargeWholeNumber", "2147483647", 2147483647.0},
    {"ManyFractionDigits", "1.00000000000000000000000000000000000001", 1.0},
    {"TooLarge", "1" + std::string(400, '0'), std::numeric_limits<double>::infinity()},
    {"TooLargeNegative", "-9" + std::string(400, '9'), -std::numeric_limits<double>::infinity()},
    {"TooSmall", "0." + std::string(400, '0') + "1", 0.0},
    {"LargestDouble",
     "179769313486231570814527423731704356798070567525844996598917476803157260780028538760589558632"
     "766878171540458953514382464234321326889464182768467546703537516986049910576551282076245490090"
     "389328944075868508455133942304583236903222948165808559332123348274797826204144723168738177180"
     "919299881250404026184124858368",
     std::numeric_limits<double>::max()},
};

INSTANTIATE_TEST_SUITE_P(Texts, ReadDeviceNumberTest, testing::ValuesIn(kReadCases),
                         RowName<ReadCase>);

TEST(ReadDeviceNumber, NegativeZeroKeepsItsSign) {
    EXPECT_TRUE(std::signbit(ReadDeviceNumber("-0")));
}

TEST(ReadDeviceNumber, IgnoresTheLocaleDecimalSeparator) {
    // A comma-decimal locale must not change how the full stop reads (POSIX and Windows names).
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "C.UTF-8", "German_Germany.1252"}) {
        if (std::setlocale(LC_ALL, name) == nullptr) {
            continue;
        }
        EXPECT_EQ(ReadDeviceNumber("1.5"), 1.5) << name;
        EXPECT_EQ(ReadDeviceNumber("1,5"), 1.0) << name;
    }
    std::setlocale(LC_ALL, "C");
}

TEST(ReadDeviceNumber, ReadsTenMegabytesOfDigits) {
    const std::string digits(10u << 20, '7');
    EXPECT_EQ(ReadDeviceNumber(digits), std::numeric_limits<double>::infinity());
    EXPECT_EQ(ReadDeviceNumber("0." + digits), 0.7777777777777778);
    EXPECT_EQ(ReadDeviceNumber(std::string(10u << 20, '0') + "1"), 1.0);
}

}  // namespace
