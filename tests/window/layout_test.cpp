// The toolkit-free layout tables: twips at any screen resolution, access keys and where a label's
// access key sends the focus, and the boxes the interface font is fitted to.

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "window/form11_layout.h"
#include "window/frm_about_layout.h"
#include "window/layout.h"

namespace {

struct PixelCase {
    int twips;
    int dotsPerInch;
    int pixels;
};

TEST(TwipsToPixels, RoundsToTheNearestPixelAtEveryResolution) {
    const PixelCase cases[] = {
        {0, 96, 0},      {7, 96, 0},       {8, 96, 1},       {15, 96, 1},      {4800, 96, 320},
        {5805, 96, 387}, {4800, 120, 400}, {4800, 144, 480}, {5805, 144, 581}, {5805, 192, 774},
        {15, 144, 2},    {-8, 96, -1},     {-7, 96, 0},
    };
    for (const PixelCase& c : cases) {
        EXPECT_EQ(window::TwipsToPixels(c.twips, c.dotsPerInch), c.pixels)
            << c.twips << " twips at " << c.dotsPerInch << " dpi";
    }
}

// The Win32 window places controls at the monitor's resolution, the Qt window at 15 twips per
// pixel: at 96 dots per inch both must put every control of both windows on the same pixels.
TEST(TwipsToPixels, At96DotsPerInchEveryTableValueLandsWhereTheQtWindowPutsIt) {
    const auto check = [](window::TwipRect r) {
        for (const int twips : {r.left, r.top, r.width, r.height}) {
            EXPECT_EQ(window::TwipsToPixels(twips, 96), window::TwipsToPixels(twips)) << twips;
        }
    };
    check(window::form11_layout::kClientArea);
    check(window::frm_about_layout::kClientArea);
    for (const auto& control : window::form11_layout::kLayout) {
        check(control.place);
    }
    for (const auto& control : window::frm_about_layout::kLayout) {
        check(control.place);
    }
}

TEST(AccessKeyOf, TheLetterAfterTheAmpersandInUppercase) {
    const std::pair<std::string_view, char> cases[] = {
        {"&PLC address", 'P'},
        {"&Modbus address", 'M'},
        {"&Reset", 'R'},
        {"e&xit", 'X'},
        {"OK", 0},
        {"a && b", 0},
        {"a && &b", 'B'},
        {"ends with &", 0},
        {"", 0},
    };
    for (const auto& [text, key] : cases) {
        EXPECT_EQ(window::AccessKeyOf(text), key) << text;
    }
}

TEST(AccessKeyTarget, HeadingsSendTheFocusToResetAndTheLastStopHasNone) {
    using window::form11_layout::AccessKeyTarget;
    using window::form11_layout::Name;
    EXPECT_EQ(AccessKeyTarget(Name("Label2").index()), Name("Command6").index());
    EXPECT_EQ(AccessKeyTarget(Name("Label1").index()), Name("Command6").index());
    EXPECT_EQ(AccessKeyTarget(Name("Label16").index()), Name("d_delta").index());
    EXPECT_EQ(AccessKeyTarget(Name("Command2").index()), window::form11_layout::kControlCount);
}

struct Box {
    std::string_view text;
    window::FixedText::Kind kind;
    int width;
    int height;
};

Box Find(const std::vector<window::FixedText>& texts, std::string_view text) {
    for (const window::FixedText& t : texts) {
        if (t.text == text) {
            return {t.text, t.kind, t.width, t.height};
        }
    }
    ADD_FAILURE() << "no fixed text " << text;
    return {};
}

TEST(FixedTexts, EachTextWithThePartOfItsBoxLeftVisible) {
    using Kind = window::FixedText::Kind;
    const std::vector<window::FixedText> main = window::form11_layout::FixedTexts();
    const std::vector<window::FixedText> about = window::frm_about_layout::FixedTexts();
    EXPECT_EQ(main.size(), 23U);  // every control but the 14 fields
    EXPECT_EQ(about.size(), 11U);
    const std::vector<std::pair<Box, const std::vector<window::FixedText>*>> cases = {
        {{"PLC type", Kind::Label, 265, 49}, &main},  // the frame less its caption insets
        {{"SS/ES/EX", Kind::Option, 89, 25}, &main},
        {{"&Reset", Kind::Button, 81, 25}, &main},
        {{"D:", Kind::Label, 41, 17}, &main},
        {{"November , 13, 2009", Kind::Label, 112, 22}, &about},  // runs under the rights notice
        {{"HOLVENT .Co", Kind::Label, 112, 22}, &about},          // so does the company name
        {{"© 2009 HOLVENT", Kind::Label, 115, 22}, &about},
        {{"OK", Kind::Button, 84, 23}, &about},
    };
    for (const auto& [expected, texts] : cases) {
        const Box box = Find(*texts, expected.text);
        EXPECT_EQ(box.kind, expected.kind) << expected.text;
        EXPECT_EQ(box.width, expected.width) << expected.text;
        EXPECT_EQ(box.height, expected.height) << expected.text;
    }
}

}  // namespace
