// The About window's layout: its title, frame and place on the screen, every control's name, kind,
// text, colour and place in twips, the stacking order, the tab order and its one button's roles.
// Data only, for every front end.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

#include "window/layout.h"

namespace window::frm_about_layout {

inline constexpr std::size_t kControlCount = 14;

// Kinds of control the layout table places. A line's place starts at its first point and runs
// for its length; its height is the width of its pen.
enum class Kind { Picture, Label, Button, Line };

// Text colour of a label, colour of a line. Default is the toolkit's own text colour.
enum class Colour { Default, Black, Grey, White };

struct Rgb {
    int red;
    int green;
    int blue;
};

// The colour's red, green and blue; for Default, which has none of its own, black.
constexpr Rgb RgbOf(Colour colour) noexcept {
    switch (colour) {
        case Colour::Grey:
            return {128, 128, 128};
        case Colour::White:
            return {255, 255, 255};
        case Colour::Black:
        case Colour::Default:
            break;
    }
    return {0, 0, 0};
}

inline constexpr std::string_view kTitle = "ZENTRIQ V1.00  [DELTA DVP Series ...";

// A fixed border and a close box only, kept out of the taskbar.
inline constexpr FrameStyle kFrameStyle{false, false, false};

// Where the client area opens on the screen, and its size.
inline constexpr TwipRect kClientArea{7200, 2910, 4920, 3210};

struct ControlSpec {
    std::string_view name;
    Kind kind;
    std::string_view text;
    TwipRect place;
    Colour colour;
};

// Every control of the window, in twips from the client area's top-left corner. The two lines of
// Line1 are one etched separator: index 1 grey, index 0 white.
inline constexpr std::array<ControlSpec, kControlCount> kLayout{{
    {"picIcon", Kind::Picture, "", {120, 120, 1200, 1560}, Colour::Default},
    {"lblTitle", Kind::Label, "ZENTRIQ V1.00", {1440, 120, 2565, 240}, Colour::Black},
    {"lblVersion",
     Kind::Label,
     "DESIGN FOR DELTA PLC  DVP Series ",
     {1440, 360, 3045, 225},
     Colour::Default},
    {"Label4", Kind::Label, "SS/ES/EX Series", {1560, 720, 1725, 225}, Colour::Default},
    {"Label5", Kind::Label, "SA/SC/SX Series", {1560, 960, 1725, 225}, Colour::Default},
    {"Label6", Kind::Label, "SV/EH/EH2 Series", {1560, 1200, 1725, 225}, Colour::Default},
    {"lblDescription", Kind::Label, "HOLVENT .Co", {1560, 1680, 2085, 330}, Colour::Black},
    {"Label7", Kind::Label, "November , 13, 2009", {1560, 1920, 1725, 330}, Colour::Black},
    {"Label1", Kind::Label, "© 2009 HOLVENT", {3240, 1920, 1725, 330}, Colour::Black},
    {"lblDisclaimer", Kind::Label, "www.holvent.example", {240, 2400, 2910, 345}, Colour::Black},
    {"Label2", Kind::Label, "support@holvent.example", {240, 2640, 2535, 345}, Colour::Black},
    {"cmdOK", Kind::Button, "OK", {3480, 2400, 1260, 345}, Colour::Default},
    // From (90, 2280) to (4800, 2280), 1 pixel wide, and from (120, 2280) to (4335, 2280), 2 wide.
    {"Line1_1", Kind::Line, "", {90, 2280, 4800 - 90, 1 * kTwipsPerPixel}, Colour::Grey},
    {"Line1_0", Kind::Line, "", {120, 2280, 4335 - 120, 2 * kTwipsPerPixel}, Colour::White},
}};

using Name = ControlName<kLayout>;

// Stacking order from the top: the photograph and the button above all labels and lines.
inline constexpr std::array<std::string_view, kControlCount> kStackingFromTop{{
    "picIcon",
    "cmdOK",
    "Label1",
    "lblTitle",
    "Label7",
    "Label6",
    "Label5",
    "Label4",
    "Label2",
    "Line1_1",
    "lblDescription",
    "Line1_0",
    "lblVersion",
    "lblDisclaimer",
}};

// The controls from the top down, as their places in the layout table.
inline constexpr std::array<std::size_t, kControlCount> kFromTop =
    OrderOf<kLayout>(kStackingFromTop);

// OK is the default button (Enter) and the cancel button (Esc), first in the tab order and the only
// control that takes the focus (the photograph, the labels and the lines take none), so it has the
// focus when the window opens.
inline constexpr Name kOk = "cmdOK";

// The name a screen reader says for the photograph; every other control is named by its text.
inline constexpr std::string_view kPhotographName = "Product photograph";

// Labels paint the window's background colour, so a label stacked above another one that starts
// inside it hides the rest of it: the date runs under the rights notice. The width of `label`
// left visible, in pixels at 96 dots per inch.
int VisibleWidth(const ControlSpec& label) noexcept;

// The texts of the window's labels and button, each with the part of its box left visible.
std::vector<FixedText> FixedTexts();

}  // namespace window::frm_about_layout
