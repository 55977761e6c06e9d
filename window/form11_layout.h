// The main converter window's layout: its title, frame and place on the screen, every control's
// name, kind, text and place in twips, the tab order and where the labels' access keys send the
// focus, the conversion rows and the series options. Data only, for every front end: each builds
// its controls from these tables, and the start-up benchmark builds a plain window of the same
// content from them.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/address_map.h"
#include "window/layout.h"

namespace window::form11_layout {

inline constexpr std::size_t kControlCount = 37;

// Kinds of control the layout table places.
enum class Kind { Frame, Option, Label, Field, Button };

inline constexpr std::string_view kTitle = "ZENTRIQ V1.00";

// Resizable, with a minimize button, in the taskbar.
inline constexpr FrameStyle kFrameStyle{true, true, true};

// Where the client area opens on the screen, and its size.
inline constexpr TwipRect kClientArea{7020, 2925, 4800, 5805};

// The frame's caption starts this far from the frame's left edge and keeps as far from its right
// edge.
inline constexpr int kCaptionInset = 120;

struct ControlSpec {
    std::string_view name;
    Kind kind;
    std::string_view text;
    TwipRect place;
};

// Every control of the window, top to bottom, in twips from the client area's top-left corner.
inline constexpr std::array<ControlSpec, kControlCount> kLayout{{
    {"Frame1", Kind::Frame, "PLC type", {240, 480, 4215, 735}},
    {"Option1", Kind::Option, "SS/ES/EX", {360, 720, 1335, 375}},
    {"Option2", Kind::Option, "SA/SX/SC", {1680, 720, 1335, 375}},
    {"Option3", Kind::Option, "EH/EH2/SV", {3000, 720, 1335, 375}},
    {"Label2", Kind::Label, "&PLC address", {960, 1800, 1335, 255}},
    {"Label1", Kind::Label, "&Modbus address", {2880, 1800, 1335, 255}},
    {"Command6", Kind::Button, "&Reset", {480, 5160, 1215, 375}},
    {"Command2", Kind::Button, "&Help", {1800, 5160, 1215, 375}},
    {"Command1", Kind::Button, "&Exit", {3120, 5160, 1215, 375}},
    // The conversion rows, 360 twips apart: row label, PLC field, ">>>", Modbus field.
    {"Label9", Kind::Label, "D:", {360, 2160, 615, 255}},
    {"d_delta", Kind::Field, "", {960, 2160, 1215, 285}},
    {"Label3", Kind::Label, ">>>", {2400, 2160, 375, 255}},
    {"d_modbus", Kind::Field, "", {2880, 2160, 1215, 285}},
    {"Label10", Kind::Label, "M:", {360, 2520, 615, 255}},
    {"m_delta", Kind::Field, "", {960, 2520, 1215, 285}},
    {"Label4", Kind::Label, ">>>", {2400, 2520, 375, 255}},
    {"m_modbus", Kind::Field, "", {2880, 2520, 1215, 285}},
    {"Label11", Kind::Label, "C:", {360, 2880, 615, 255}},
    {"c_delta", Kind::Field, "", {960, 2880, 1215, 285}},
    {"Label5", Kind::Label, ">>>", {2400, 2880, 375, 255}},
    {"c_modbus", Kind::Field, "", {2880, 2880, 1215, 285}},
    {"Label12", Kind::Label, "T:", {360, 3240, 615, 255}},
    {"t_delta", Kind::Field, "", {960, 3240, 1215, 285}},
    {"Label6", Kind::Label, ">>>", {2400, 3240, 375, 255}},
    {"t_modbus", Kind::Field, "", {2880, 3240, 1215, 285}},
    {"Label13", Kind::Label, "X:", {360, 3600, 615, 255}},
    {"x_delta", Kind::Field, "", {960, 3600, 1215, 285}},
    {"Label7", Kind::Label, ">>>", {2400, 3600, 375, 255}},
    {"x_modbus", Kind::Field, "", {2880, 3600, 1215, 285}},
    {"Label14", Kind::Label, "Y:", {360, 3960, 615, 255}},
    {"y_delta", Kind::Field, "", {960, 3960, 1215, 285}},
    {"Label8", Kind::Label, ">>>", {2400, 3960, 375, 255}},
    {"y_modbus", Kind::Field, "", {2880, 3960, 1215, 285}},
    {"Label16", Kind::Label, "S:", {360, 4320, 615, 255}},
    {"s_delta", Kind::Field, "", {960, 4320, 1215, 285}},
    {"Label15", Kind::Label, ">>>", {2400, 4320, 375, 255}},
    {"s_modbus", Kind::Field, "", {2880, 4320, 1215, 285}},
}};

using Name = ControlName<kLayout>;

// The tab order of all controls. Fields, buttons and options take the focus; labels and the frame
// only hold a place, which decides where a label's access key sends the focus.
inline constexpr std::array<std::string_view, kControlCount> kTabOrder{{
    "d_modbus", "Label1",  "Label2",   "Command6", "Label3",   "Frame1",   "Option1", "Option2",
    "Option3",  "m_delta", "m_modbus", "Label4",   "c_delta",  "c_modbus", "Label5",  "t_delta",
    "t_modbus", "Label6",  "x_delta",  "x_modbus", "Label7",   "y_modbus", "Label8",  "Label9",
    "Label10",  "Label11", "Label12",  "Label13",  "Label14",  "s_modbus", "Label15", "Label16",
    "d_delta",  "y_delta", "s_delta",  "Command1", "Command2",
}};

// The controls in tab order, as their places in the layout table.
inline constexpr std::array<std::size_t, kControlCount> kInTabOrder = OrderOf<kLayout>(kTabOrder);

// The control that has the focus when the window opens.
inline constexpr Name kFirstFocus = "d_modbus";

constexpr bool TakesFocus(Kind kind) noexcept {
    return kind == Kind::Field || kind == Kind::Button || kind == Kind::Option;
}

// Where the access key of the label at `label` (its place in the layout table) sends the focus:
// the first control after it in the tab order that can take the focus, as its place in the layout
// table; kControlCount when none follows.
constexpr std::size_t AccessKeyTarget(std::size_t label) noexcept {
    std::size_t p = 0;
    while (p < kInTabOrder.size() && kInTabOrder[p] != label) {
        ++p;
    }
    for (++p; p < kInTabOrder.size(); ++p) {
        if (TakesFocus(kLayout[kInTabOrder[p]].kind)) {
            return kInTabOrder[p];
        }
    }
    return kControlCount;
}

// A conversion row: its device kind, PLC-address field and Modbus-address field.
struct Row {
    conversion::DeviceKind kind;
    Name plc;
    Name modbus;
};

// The rows in the order load and Reset fill them.
inline constexpr std::array<Row, 7> kRows{{
    {conversion::DeviceKind::D, "d_delta", "d_modbus"},
    {conversion::DeviceKind::M, "m_delta", "m_modbus"},
    {conversion::DeviceKind::C, "c_delta", "c_modbus"},
    {conversion::DeviceKind::T, "t_delta", "t_modbus"},
    {conversion::DeviceKind::X, "x_delta", "x_modbus"},
    {conversion::DeviceKind::Y, "y_delta", "y_modbus"},
    {conversion::DeviceKind::S, "s_delta", "s_modbus"},
}};

// A series option and the series it selects.
struct OptionSpec {
    Name option;
    conversion::PlcSeries series;
};

inline constexpr std::array<OptionSpec, 3> kOptions{{
    {"Option1", conversion::PlcSeries::SS},
    {"Option2", conversion::PlcSeries::SC},
    {"Option3", conversion::PlcSeries::SV},
}};

inline constexpr Name kReset = "Command6";
inline constexpr Name kExit = "Command1";
inline constexpr Name kHelp = "Command2";

// The name a screen reader says for a control: a field by its row and side ("D PLC address"),
// everything else by its text without the access key's "&".
std::string AccessibleName(const ControlSpec& control);

// The texts of the window's labels, options, frame caption and buttons with the sizes of their
// boxes; the frame's caption gets the frame's width less its insets.
std::vector<FixedText> FixedTexts();

}  // namespace window::form11_layout
