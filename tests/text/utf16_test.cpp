#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "test_names.h"
#include "text/utf16.h"

namespace {

using namespace std::string_view_literals;

struct FromUtf8Case {
    const char* name;
    std::string_view utf8;
    std::u16string_view replaced;
    bool valid;
};
ZENTRIQ_PRINT_ROW_AS_NAME(FromUtf8Case)

class FromUtf8Test : public testing::TestWithParam<FromUtf8Case> {};

TEST_P(FromUtf8Test, ReplacesWhatIsNotUtf8) {
    EXPECT_EQ(text::Utf16FromUtf8(GetParam().utf8), GetParam().replaced);
}

TEST_P(FromUtf8Test, StrictFormRefusesWhatIsNotUtf8) {
    const std::optional<std::u16string> strict = text::StrictUtf16FromUtf8(GetParam().utf8);
    EXPECT_EQ(strict,
              GetParam().valid ? std::optional(std::u16string(GetParam().replaced)) : std::nullopt);
}

// Each part that is not UTF-8 is one U+FFFD and ends before the first byte that cannot continue
// it: the character there is kept.
const FromUtf8Case kFromUtf8Cases[] = {
    {"Empty", "", u"", true},
    {"Ascii", "D100.csv", u"D100.csv", true},
    {"NulIsACharacter", "a\0b"sv, u"a\0b"sv, true},
    {"LowestOfTwoBytes", "\xC2\x80", u"\u0080", true},
    {"HighestOfTwoBytes", "\xDF\xBF", u"\u07FF", true},
    {"LowestOfThreeBytes", "\xE0\xA0\x80", u"\u0800", true},
    {"BelowSurrogates", "\xED\x9F\xBF", u"\uD7FF", true},
    {"AboveSurrogates", "\xEE\x80\x80", u"\uE000", true},
    {"HighestOfThreeBytes", "\xEF\xBF\xBF", u"\uFFFF", true},
    {"TokyoFileName", "\xE6\x9D\xB1\xE4\xBA\xAC.csv", u"\u6771\u4EAC.csv", true},
    {"LowestOfFourBytesIsAPair", "\xF0\x90\x80\x80", u"\xD800\xDC00", true},
    {"HighestCodePointIsAPair", "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF", true},
    {"LoneContinuationByte", "a\x80z", u"a\uFFFDz", false},
    {"EachStrayByteReplaced", "\x82\xA0\x82\xA2", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},
    {"OverlongSlash", "\xC0\xAF", u"\uFFFD\uFFFD", false},
    {"OverlongThreeBytes", "\xE0\x9F\xBF", u"\uFFFD\uFFFD\uFFFD", false},
    {"OverlongFourBytes", "\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},
    {"SurrogateCodePoint", "a\xED\xA0\x80z", u"a\uFFFD\uFFFD\uFFFDz", false},
    {"AboveHighestCodePoint", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},
    {"LeadOfNoSequence", "\xF5\x80", u"\uFFFD\uFFFD", false},
    {"ByteFF", "\xFF", u"\uFFFD", false},
    {"CutShortAtTheEnd", "ab\xE2\x82", u"ab\uFFFD", false},
    {"CutShortBeforeALetterKeepsIt", "\xF0\x9F\x98Z", u"\uFFFDZ", false},
    {"CutShortBeforeALeadKeepsIt", "\xE2\xC3\xA9", u"\uFFFD\u00E9", false},
};
INSTANTIATE_TEST_SUITE_P(Texts, FromUtf8Test, testing::ValuesIn(kFromUtf8Cases),
                         RowName<FromUtf8Case>);

struct ToUtf8Case {
    const char* name;
    std::u16string_view utf16;
    std::string_view utf8;
};
ZENTRIQ_PRINT_ROW_AS_NAME(ToUtf8Case)

class ToUtf8Test : public testing::TestWithParam<ToUtf8Case> {};

TEST_P(ToUtf8Test, ReplacesSurrogatesWithoutPartner) {
    EXPECT_EQ(text::Utf8FromUtf16(GetParam().utf16), GetParam().utf8);
}

const ToUtf8Case kToUtf8Cases[] = {
    {"Empty", u"", ""},
    {"OneTwoAndThreeBytes", u"A\u00E9\u6771", "A\xC3\xA9\xE6\x9D\xB1"},
    {"NulKept", u"a\0b"sv, "a\0b"sv},
    {"PairIsOneCodePoint", u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
    {"HighestPair", u"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF"},
    {"HighSurrogateAtTheEnd", u"a\xD800", "a\xEF\xBF\xBD"},
    {"LowSurrogateAlone", u"\xDC00z", "\xEF\xBF\xBDz"},
    {"PairInTheWrongOrder", u"\xDC00\xD800", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"HighBeforeAPairKeepsThePair", u"\xD800\xD800\xDC00", "\xEF\xBF\xBD\xF0\x90\x80\x80"},
    {"HighBeforeALetter", u"\xDBFFZ", "\xEF\xBF\xBDZ"},
};
INSTANTIATE_TEST_SUITE_P(Texts, ToUtf8Test, testing::ValuesIn(kToUtf8Cases), RowName<ToUtf8Case>);

// A window text goes to Windows and back unchanged, whatever character it holds.
TEST(Utf16, EveryCodePointComesBackUnchanged) {
    for (char32_t codePoint = 0; codePoint <= 0x10FFFF; ++codePoint) {
        if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
            continue;
        }
        std::string utf8;
        text::AppendUtf8(utf8, codePoint);
        const std::optional<std::u16string> utf16 = text::StrictUtf16FromUtf8(utf8);
        ASSERT_TRUE(utf16.has_value()) << "U+" << std::hex << static_cast<unsigned>(codePoint);
        ASSERT_EQ(utf16->size(), codePoint < 0x10000 ? 1u : 2u);
        ASSERT_EQ(text::Utf8FromUtf16(*utf16), utf8);
    }
}

}  // namespace
