// What a spreadsheet cell is given for a text, at the edges of its rules: the UTF-8 that is
// refused, the characters XML cannot carry, the escape spreadsheets would read, and where a long
// text is cut. (Ordinary bad bytes and the cut itself are read back through a real spreadsheet by
// check_xlsx.py.)
#include "taglist/cell_text.h"

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <string>
#include <string_view>

namespace {

using namespace std::string_literals;

const std::string kFffd = "\xEF\xBF\xBD";
const std::string kEmoji = "\xF0\x9F\x98\x80";  // U+1F600, two UTF-16 units

struct Case {
    const char* name;
    std::string text;
    std::string cell;
    std::size_t width;
    bool cut = false;
};

const Case kCases[] = {
    {"plain", "D100", "D100", 4},
    {"empty", "", "", 0},
    {"width of the longest line, in characters", "ab\n\xC3\xBC\xC3\xBC\xC3\xBC",
     "ab\n\xC3\xBC\xC3\xBC\xC3\xBC", 3},
    {"an escape is escaped", "_x0041_", "_x005F_x0041_", 7},
    {"an escape in capitals and lower-case hex", "a_X00fF_", "a_x005F_X00fF_", 8},
    {"no escape: not hex, too short", "_x004G_ _x041_", "_x004G_ _x041_", 14},
    {"overlong NUL", "\xC0\x80", kFffd + kFffd, 2},
    {"surrogate", "\xED\xA0\x80", kFffd + kFffd + kFffd, 3},
    {"above U+10FFFF", "\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd, 4},
    {"sequence cut short by the end", "a\xE2\x82", "a" + kFffd + kFffd, 3},
    {"NUL, U+FFFE and U+FFFF", "\0\xEF\xBF\xBE\xEF\xBF\xBF"s, kFffd + kFffd + kFffd, 3},
    {"other control characters kept", "\x01\t\x1F", "\x01\t\x1F", 3},
    {"exactly full", std::string(32767, 'x'), std::string(32767, 'x'), 32767},
    {"one over", std::string(32768, 'x'), std::string(32767, 'x'), 32767, true},
    {"a pair of units that fits", std::string(32765, 'x') + kEmoji,
     std::string(32765, 'x') + kEmoji, 32766},
    {"a pair of units that does not fit whole", std::string(32766, 'x') + kEmoji,
     std::string(32766, 'x'), 32766, true},
};

class CellTextTest : public testing::TestWithParam<Case> {};

TEST_P(CellTextTest, MakesTheCellText) {
    const Case& c = GetParam();
    std::string cell = "left from before";
    const taglist::CellText made = taglist::MakeCellText(c.text, cell);
    EXPECT_EQ(cell, c.cell);
    EXPECT_EQ(made.width, c.width);
    EXPECT_EQ(made.cut, c.cut);
}

INSTANTIATE_TEST_SUITE_P(Texts, CellTextTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& param) {
                             std::string name;
                             for (const char ch : std::string_view(param.param.name)) {
                                 name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             }
                             return name;
                         });

TEST(CellNumber, OnlyDigitsADoubleHoldsExactly) {
    const struct {
        const char* text;
        std::optional<double> number;
    } rows[] = {
        {"0", 0.0},
        {"007", 7.0},
        {"999999999999999", 999999999999999.0},
        {"1000000000000000", std::nullopt},  // 16 digits
        {"", std::nullopt},
        {"-1", std::nullopt},
        {" 1", std::nullopt},
        {"1E3", std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(taglist::CellNumber(row.text), row.number) << row.text;
    }
}

}  // namespace
