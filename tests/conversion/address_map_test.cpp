#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>

#include "conversion/address_map.h"
#include "test_names.h"

namespace {

using conversion::DeviceKind;
using conversion::ModbusAddressFor;
using conversion::PlcSeries;
using conversion::ToHexText;

struct AddressCase {
    const char* name;
    DeviceKind kind;
    std::string text;
    PlcSeries series;
    std::optional<std::string> expected;  // "" clears the field, nullopt leaves it as it is
};
ZENTRIQ_PRINT_ROW_AS_NAME(AddressCase)

class ModbusAddressForTest : public testing::TestWithParam<AddressCase> {};

TEST_P(ModbusAddressForTest, GivesTheRowsAddress) {
    const AddressCase& c = GetParam();
    EXPECT_EQ(ModbusAddressFor(c.kind, c.text, c.series), c.expected)
        << "text: \"" << c.text.substr(0, 60) << '"';
}

constexpr auto S = DeviceKind::S, X = DeviceKind::X, Y = DeviceKind::Y, T = DeviceKind::T,
               M = DeviceKind::M, C = DeviceKind::C, D = DeviceKind::D;
constexpr auto SS = PlcSeries::SS, SC = PlcSeries::SC, SV = PlcSeries::SV;
const std::string kClearedText;

const AddressCase kWorkedResults[] = {
    {"S0", S, "0", SS, "0000"},
    {"S15LastWithThreeZeros", S, "15", SS, "000F"},
    {"S16FirstWithTwoZeros", S, "16", SS, "0010"},
    {"S255LastWithTwoZeros", S, "255", SS, "00FF"},
    {"S256HasNoZeros", S, "256", SS, "100"},
    {"S1023", S, "1023", SS, "3FF"},
    {"X0", X, "0", SS, "0400"},
    {"X7", X, "7", SS, "0407"},
    {"X10IsOctal", X, "10", SS, "0408"},
    {"X17IsOctal", X, "17", SS, "040F"},
    {"X377", X, "377", SS, "04FF"},
    {"X8CountsAtFaceValue", X, "8", SS, "0408"},
    {"X19CountsAtFaceValue", X, "19", SS, "0411"},
    {"X017LeadingZero", X, "017", SS, "040F"},
    {"Y0", Y, "0", SS, "0500"},
    {"Y17", Y, "17", SS, "050F"},
    {"Y377", Y, "377", SS, "05FF"},
    {"T0", T, "0", SS, "0600"},
    {"T255", T, "255", SS, "06FF"},
    {"M0", M, "0", SS, "0800"},
    {"M1535LastLow", M, "1535", SS, "0DFF"},
    {"M1536FirstHigh", M, "1536", SS, "B000"},
    {"M4095", M, "4095", SS, "B9FF"},
    {"C0", C, "0", SS, "0E00"},
    {"C200", C, "200", SS, "0EC8"},
    {"C255", C, "255", SS, "0EFF"},
    {"C512KeepsItsOneZero", C, "512", SS, "01000"},
    {"D0", D, "0", SS, "1000"},
    {"D4095", D, "4095", SS, "1FFF"},
    {"TrailingLettersC", C, "12abc", SS, "0E0C"},
    {"NegativeT", T, "-1", SS, "05FF"},
    {"NegativeM", M, "-1", SS, "07FF"},
    {"NegativeD", D, "-1", SS, "FFF"},
    {"FractionS", S, "15.4", SS, "00F"},
    {"FractionM", M, "1535.3", SS, "AFFF"},
    {"HalfToEvenDown", S, "14.5", SS, "000E"},
    {"HalfToEvenUp", S, "15.5", SS, "0010"},
    {"PlusSign", T, "+1", SS, "0601"},
};
INSTANTIATE_TEST_SUITE_P(WorkedResults, ModbusAddressForTest, testing::ValuesIn(kWorkedResults),
                         RowName<AddressCase>);

const AddressCase kBlankText[] = {
    {"S", S, "", SS, "0000"},  {"X", X, "", SS, "0400"},           {"Y", Y, "", SS, "0500"},
    {"T", T, " ", SS, "0600"}, {"M", M, "\t", SS, "0800"},         {"C", C, "", SS, "0E00"},
    {"D", D, "", SS, "1000"},  {"SLetters", S, "abc", SS, "0000"},
};
INSTANTIATE_TEST_SUITE_P(BlankTextReadsAsZero, ModbusAddressForTest, testing::ValuesIn(kBlankText),
                         RowName<AddressCase>);

const AddressCase kSeries[] = {
    {"DUnderSC", D, "0", SC, std::nullopt},
    {"DUnderSV", D, "5", SV, std::nullopt},
    {"DUnderSVBeyondRange", D, "-9999", SV, std::nullopt},
    {"MUnderSV", M, "0", SV, "0800"},
    {"XUnderSC", X, "17", SC, "040F"},
    {"SUnderSC", S, "16", SC, "0010"},
};
INSTANTIATE_TEST_SUITE_P(Series, ModbusAddressForTest, testing::ValuesIn(kSeries),
                         RowName<AddressCase>);

// What the rules cannot convert clears the field, so no address of an earlier number stays on
// screen.
const AddressCase kCleared[] = {
    {"NegativeS", S, "-1", SS, kClearedText},
    {"SNegativeFractionRoundingToZero", S, "-0.3", SS, kClearedText},
    {"NegativeSum", T, "-1537", SS, kClearedText},
    {"NegativeX", X, "-1", SS, kClearedText},
    {"FractionX", X, "1.5", SS, kClearedText},
    {"FractionY", Y, "0.5", SS, kClearedText},
    {"LargestC", C, "2147480063", SS, "07FFFFFFF"},
    {"CJustOverRange", C, "2147480064", SS, kClearedText},
    {"SHalfOverRange", S, "2147483647.5", SS, kClearedText},
    {"SLargestRoundsDown", S, "2147483647.4", SS, "7FFFFFFF"},
    {"MHuge", M, "1" + std::string(30, '0'), SS, kClearedText},
    {"DInfinite", D, std::string(400, '9'), SS, kClearedText},
    {"DNegativeInfinite", D, "-" + std::string(400, '9'), SS, kClearedText},
    {"XLargestInRange", X, "17777775777", SS, "07FFFFFFF"},
    {"XJustOverRange", X, "17777776000", SS, kClearedText},
    {"XTwelveDigits", X, "100000000000", SS, kClearedText},
    {"YInfinite", Y, std::string(400, '7'), SS, kClearedText},
};
INSTANTIATE_TEST_SUITE_P(Cleared, ModbusAddressForTest, testing::ValuesIn(kCleared),
                         RowName<AddressCase>);

TEST(ModbusAddressFor, NegativeZeroIsDeviceZero) {
    EXPECT_EQ(ModbusAddressFor(S, "-0", SS), "0000");
    EXPECT_EQ(ModbusAddressFor(X, "-0", SS), "0400");
    EXPECT_EQ(ModbusAddressFor(Y, "-0.0", SS), "0500");
}

TEST(ModbusAddressFor, ConvertsATenMegabytePaste) {
    const std::string paste(10u << 20, '1');
    for (auto kind : {S, X, Y, T, M, C, D}) {
        EXPECT_EQ(ModbusAddressFor(kind, paste, SS), kClearedText);
    }
    EXPECT_EQ(ModbusAddressFor(C, "12" + std::string(10u << 20, 'z'), SS), "0E0C");
}

struct HexCase {
    const char* name;
    double value;
    std::optional<std::string> expected;
};
ZENTRIQ_PRINT_ROW_AS_NAME(HexCase)

class ToHexTextTest : public testing::TestWithParam<HexCase> {};

TEST_P(ToHexTextTest, WritesUppercaseHex) {
    EXPECT_EQ(ToHexText(GetParam().value), GetParam().expected) << GetParam().value;
}

constexpr double kInf = std::numeric_limits<double>::infinity();
const HexCase kHexCases[] = {
    {"Zero", 0.0, "0"},
    {"NegativeZero", -0.0, "0"},
    {"Fifteen", 15.0, "F"},
    {"Sixteen", 16.0, "10"},
    {"RoundsDown", 15.4, "F"},
    {"RoundsUp", 15.6, "10"},
    {"HalfToEvenDown", 14.5, "E"},
    {"HalfToEvenUp", 15.5, "10"},
    {"HalfOfZero", 0.5, "0"},
    {"BelowHalf", 0.49999999999999994, "0"},
    {"Largest", 2147483647.0, "7FFFFFFF"},
    {"HalfAboveLargest", 2147483647.5, std::nullopt},
    {"AboveLargest", 2147483648.0, std::nullopt},
    {"Negative", -1.0, std::nullopt},
    {"SmallNegative", -0.25, std::nullopt},
    {"Infinity", kInf, std::nullopt},
    {"NegativeInfinity", -kInf, std::nullopt},
    {"NotANumber", std::numeric_limits<double>::quiet_NaN(), std::nullopt},
    {"Huge", 1e300, std::nullopt},
    {"Denormal", std::numeric_limits<double>::denorm_min(), "0"},
};
INSTANTIATE_TEST_SUITE_P(Values, ToHexTextTest, testing::ValuesIn(kHexCases), RowName<HexCase>);

// A kind's letter in either case names it, and the kind gives its capital letter back; no other
// character names a kind.
TEST(DeviceKindOf, ReadsTheLettersInEitherCase) {
    const struct {
        char capital;
        char small;
        DeviceKind kind;
    } letters[] = {{'S', 's', S}, {'X', 'x', X}, {'Y', 'y', Y}, {'T', 't', T},
                   {'M', 'm', M}, {'C', 'c', C}, {'D', 'd', D}};
    for (const auto& l : letters) {
        EXPECT_EQ(conversion::DeviceKindOf(l.capital), l.kind) << l.capital;
        EXPECT_EQ(conversion::DeviceKindOf(l.small), l.kind) << l.small;
        EXPECT_EQ(conversion::DeviceLetter(l.kind), l.capital);
    }
    for (const char other : {'A', 'Z', 'a', 'z', '0', ' ', '\0', '\xC4'}) {
        EXPECT_EQ(conversion::DeviceKindOf(other), std::nullopt) << static_cast<int>(other);
    }
}

}  // namespace
