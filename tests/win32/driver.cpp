// Drives the real zentriq.exe from outside, under Wine or Windows, through the same contract as the
// Linux real-window tests: what a user sees and does, and what an accessibility tool reads.
//
//   driver window PROGRAM            every check, over a few runs of PROGRAM
//   driver startup COMMAND           the start-up checks on the program COMMAND starts (a
//   shortcut),
//                                    which must be PROGRAM_DIR's zentriq.exe; then Exit
//   driver pose PROGRAM              leaves PROGRAM open with rows typed and the About window
//   beside
//                                    the main window, for a screenshot
//
// Prints one line per check ("ok" or "not ok" and what was expected); the exit status is the
// number of failed checks (0: all passed), or 100 when the program could not be started.

#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "tests/win32/remote.h"
#include "win32/control_ids.h"

namespace {

using driver::Box;
using driver::Program;
using Name = window::form11_layout::Name;
using AboutName = window::frm_about_layout::Name;

int failures = 0;

void Expect(bool ok, const std::string& what) {
    std::printf("%s - %s\n", ok ? "ok" : "not ok", what.c_str());
    std::fflush(stdout);
    if (!ok) {
        ++failures;
    }
}

template <typename T>
std::string Shown(const T& value) {
    if constexpr (std::is_same_v<T, std::string>) {
        return "\"" + value + "\"";
    } else if constexpr (std::is_same_v<T, Box>) {
        return driver::ToString(value);
    } else if constexpr (std::is_same_v<T, bool>) {
        return value ? "true" : "false";
    } else {
        return std::to_string(value);
    }
}

template <typename T>
void ExpectEqual(const T& actual, const T& expected, const std::string& what) {
    Expect(actual == expected,
           actual == expected ? what
                              : what + ": got " + Shown(actual) + ", expected " + Shown(expected));
}

std::string TextOf(HWND hwnd) {
    return driver::Utf8(driver::Text(hwnd));
}

std::wstring Wide(const std::string& ascii) {
    return {ascii.begin(), ascii.end()};
}

// Waits for `hwnd` to read `expected`, then checks that it does.
void ExpectText(HWND hwnd, const std::string& expected, const std::string& what) {
    driver::WaitFor([&] { return TextOf(hwnd) == expected; });
    ExpectEqual(TextOf(hwnd), expected, what);
}

void ExpectFocus(const Program& program, const std::string& expected, const std::string& what) {
    driver::WaitFor([&] { return program.FocusName() == expected; });
    ExpectEqual(program.FocusName(), expected, what);
}

// The rows by their letters, with the Modbus address of device 0 that each shows at start-up.
struct RowFields {
    const char* letter;
    Name plc;
    Name modbus;
    const char* start;
};
constexpr RowFields kRows[] = {
    {"D", "d_delta", "d_modbus", "1000"}, {"M", "m_delta", "m_modbus", "0800"},
    {"C", "c_delta", "c_modbus", "0E00"}, {"T", "t_delta", "t_modbus", "0600"},
    {"X", "x_delta", "x_modbus", "0400"}, {"Y", "y_delta", "y_modbus", "0500"},
    {"S", "s_delta", "s_modbus", "0000"},
};
const RowFields& Row(const std::string& letter) {
    for (const RowFields& row : kRows) {
        if (letter == row.letter) {
            return row;
        }
    }
    return kRows[0];
}

constexpr Name kOptions[] = {"Option1", "Option2", "Option3"};

// A control of either window with what is expected of it.
struct Placed {
    Name name;
    Box box;
};
struct Texted {
    Name name;
    const char* text;
};
struct AboutTexted {
    AboutName name;
    const char* text;
};

std::vector<bool> OptionsOn(const Program& program) {
    std::vector<bool> on;
    for (const Name option : kOptions) {
        on.push_back(driver::Checked(program.Control(option)));
    }
    return on;
}

void ReplaceText(const Program& program, Name field, const std::string& text) {
    driver::SetText(program.Control(field), Wide(text));
}

// ---- Start-up -------------------------------------------------------------------------------

void StartUpState(const Program& program) {
    for (const RowFields& row : kRows) {
        ExpectText(program.Control(row.modbus), row.start,
                   std::string("start-up: ") + row.letter + " Modbus address");
        ExpectEqual(TextOf(program.Control(row.plc)), std::string("0"),
                    std::string("start-up: ") + row.letter + " PLC address");
    }
    Expect(OptionsOn(program) == std::vector<bool>{true, false, false},
           "start-up: SS/ES/EX on, the other series off");
    ExpectFocus(program, "d_modbus", "start-up: the focus in d_modbus");
    ExpectEqual(driver::ClientOnScreen(program.main()), Box{468, 195, 320, 387},
                "main window: client area 320 x 387 at 468, 195");
}

void Frame(const Program& program) {
    HWND main = program.main();
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(main, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(main, GWL_EXSTYLE));
    Expect((style & WS_THICKFRAME) != 0, "main window: a resizable border");
    Expect((style & WS_MINIMIZEBOX) != 0, "main window: a minimize button");
    Expect((style & WS_MAXIMIZEBOX) == 0, "main window: the maximize button disabled");
    Expect((style & WS_SYSMENU) != 0, "main window: a close box");
    Expect(GetWindow(main, GW_OWNER) == nullptr && (exStyle & WS_EX_TOOLWINDOW) == 0,
           "main window: in the taskbar");

    // Maximizing by the system menu, or by another program, leaves the window as it is.
    SendMessageW(main, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    ShowWindowAsync(main, SW_MAXIMIZE);
    driver::WaitFor([&] { return false; }, 300);
    driver::WaitFor([&] { return !IsZoomed(main); });
    Expect(!IsZoomed(main), "main window: maximizing has no effect");
    ExpectEqual(driver::ClientOnScreen(main), Box{468, 195, 320, 387},
                "main window: still 320 x 387 at 468, 195 after a maximize");

    // Enlarging moves nothing inside.
    RECT outer{};
    GetWindowRect(main, &outer);
    SetWindowPos(main, nullptr, 0, 0, outer.right - outer.left + 100,
                 outer.bottom - outer.top + 100, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    driver::WaitFor([&] { return driver::ClientOnScreen(main).width == 420; });
    ExpectEqual(driver::ClientOnScreen(main).width, 420, "main window: enlarged by 100 pixels");
    ExpectEqual(driver::PlaceInParent(program.Control("s_delta")), Box{64, 288, 81, 19},
                "enlarged: s_delta stays at 64, 288, 81 x 19");
    ExpectEqual(driver::PlaceInParent(program.Control("Command1")), Box{208, 344, 81, 25},
                "enlarged: Exit stays at 208, 344, 81 x 25");
    SetWindowPos(main, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Controls(const Program& program) {
    // Standard classes, so that accessibility tools and screen readers know them.
    const std::map<window::form11_layout::Kind, std::wstring> classes = {
        {window::form11_layout::Kind::Frame, L"Button"},
        {window::form11_layout::Kind::Option, L"Button"},
        {window::form11_layout::Kind::Label, L"Static"},
        {window::form11_layout::Kind::Field, L"Edit"},
        {window::form11_layout::Kind::Button, L"Button"}};
    int standard = 0;
    for (std::size_t i = 0; i < window::form11_layout::kControlCount; ++i) {
        HWND control = GetDlgItem(program.main(), win32::ControlId(i));
        const auto kind = window::form11_layout::kLayout[i].kind;
        standard += control != nullptr && driver::ClassOf(control) == classes.at(kind) ? 1 : 0;
    }
    ExpectEqual(standard, 37, "controls: all 37 of a standard class (Edit, Button, Static)");

    const Placed places[] = {
        {"Frame1", {16, 32, 281, 49}},   {"Option1", {24, 48, 89, 25}},
        {"Option3", {200, 48, 89, 25}},  {"Label2", {64, 120, 89, 17}},
        {"Label9", {24, 144, 41, 17}},   {"d_delta", {64, 144, 81, 19}},
        {"Label15", {160, 288, 25, 17}}, {"s_modbus", {192, 288, 81, 19}},
        {"Command6", {32, 344, 81, 25}}, {"Command1", {208, 344, 81, 25}},
    };
    for (const auto& [name, box] : places) {
        ExpectEqual(
            driver::PlaceInParent(program.Control(name)), box,
            "controls: place of " + std::string(window::form11_layout::kLayout[name.index()].name));
    }
    const Texted texts[] = {
        {"Frame1", "PLC type"},   {"Option1", "SS/ES/EX"},    {"Option2", "SA/SX/SC"},
        {"Option3", "EH/EH2/SV"}, {"Label2", "&PLC address"}, {"Label1", "&Modbus address"},
        {"Command6", "&Reset"},   {"Command2", "&Help"},      {"Command1", "&Exit"},
        {"Label9", "D:"},         {"Label16", "S:"},          {"Label3", ">>>"},
    };
    for (const auto& [name, text] : texts) {
        ExpectEqual(
            TextOf(program.Control(name)), std::string(text),
            "controls: text of " + std::string(window::form11_layout::kLayout[name.index()].name));
    }
    const Texted names[] = {
        {"d_delta", "D PLC address"}, {"d_modbus", "D Modbus address"},
        {"x_delta", "X PLC address"}, {"s_modbus", "S Modbus address"},
        {"Command6", "Reset"},        {"Option3", "EH/EH2/SV"},
    };
    int answered = 0;
    for (const auto& [name, spoken] : names) {
        const std::optional<std::string> said = driver::AccessibleName(program.Control(name));
        if (said) {
            ++answered;
            ExpectEqual(*said, std::string(spoken),
                        "accessible name of " +
                            std::string(window::form11_layout::kLayout[name.index()].name));
        }
    }
    if (answered == 0) {
        std::printf(
            "skip - accessible names: this system gives the controls of another process "
            "no accessible objects\n");
    }
}

// ---- Typing -----------------------------------------------------------------------------------

struct Typed {
    const char* row;
    const char* text;
    const char* shown;
};
// The device kinds' boundaries and their typed forms.
constexpr Typed kTyping[] = {
    {"D", "5", "1005"},   {"D", "-1", "FFF"},    {"M", "1535", "0DFF"},  {"M", "1536", "B000"},
    {"C", "200", "0EC8"}, {"C", "512", "01000"}, {"C", "12abc", "0E0C"}, {"T", "255", "06FF"},
    {"T", "-1", "05FF"},  {"X", "17", "040F"},   {"X", "8", "0408"},     {"X", "377", "04FF"},
    {"Y", "17", "050F"},  {"Y", "377", "05FF"},  {"S", "15", "000F"},    {"S", "16", "0010"},
    {"S", "255", "00FF"}, {"S", "256", "100"},   {"S", "15.4", "00F"},
};

void Typing(const Program& program) {
    for (const Typed& typed : kTyping) {
        const RowFields& row = Row(typed.row);
        ReplaceText(program, row.plc, typed.text);
        ExpectText(program.Control(row.modbus), typed.shown,
                   std::string("typing ") + typed.row + " " + typed.text);
    }
    ReplaceText(program, "t_delta", "100");
    ExpectText(program.Control("t_modbus"), "0664", "typing T 100");
    ExpectEqual(TextOf(program.Control("x_modbus")), std::string("04FF"),
                "typing T changes no other row");
}

void Keystrokes(const Program& program) {
    HWND x = program.Control("x_delta");
    driver::Activate(program.main());
    driver::MouseClick(x);
    ExpectFocus(program, "x_delta", "keystrokes: a click puts the focus in x_delta");
    SendMessageW(x, EM_SETSEL, 0, -1);
    driver::Key(VK_DELETE);
    ExpectText(program.Control("x_modbus"), "0400", "keystrokes: clearing X shows device 0");
    const std::pair<const char*, const char*> steps[] = {
        {"1", "0401"}, {"7", "040F"}, {"7", "047F"}};
    for (const auto& [key, shown] : steps) {
        driver::Type(Wide(key));
        ExpectText(program.Control("x_modbus"), shown, std::string("keystrokes: X after ") + key);
    }
    driver::Key(VK_BACK);
    driver::Key(VK_BACK);
    ExpectText(program.Control("x_modbus"), "0401", "keystrokes: two backspaces");
    driver::Key(VK_BACK);
    ExpectText(program.Control("x_modbus"), "0400", "keystrokes: the last backspace");
    ExpectEqual(TextOf(x), std::string(), "keystrokes: X PLC address empty");
}

void ModbusFieldTyping(const Program& program) {
    std::vector<std::string> before;
    for (const RowFields& row : kRows) {
        before.push_back(TextOf(program.Control(row.plc)));
        before.push_back(TextOf(program.Control(row.modbus)));
    }
    ReplaceText(program, "c_modbus", "hello");
    ExpectText(program.Control("c_modbus"), "hello", "Modbus field: typed into");
    std::vector<std::string> after;
    for (const RowFields& row : kRows) {
        after.push_back(TextOf(program.Control(row.plc)));
        after.push_back(std::string(row.letter) == "C" ? before[after.size()]
                                                       : TextOf(program.Control(row.modbus)));
    }
    Expect(after == before, "Modbus field: typing into it changes no other field");
    ReplaceText(program, "c_delta", "1");
    ExpectText(program.Control("c_modbus"), "0E01",
               "Modbus field: the next PLC change overwrites it");
}

// ---- Series and Reset ------------------------------------------------------------------------

void Series(const Program& program) {
    ReplaceText(program, "d_delta", "5");
    ExpectText(program.Control("d_modbus"), "1005", "series: D 5 under SS/ES/EX");
    for (int option = 1; option <= 2; ++option) {
        const std::string series = option == 1 ? "SA/SX/SC" : "EH/EH2/SV";
        if (option == 1) {
            driver::Click(program.Control(kOptions[1]));
        } else {
            driver::Activate(program.main());
            driver::Click(program.Control(kOptions[1]));
            ExpectFocus(program, "Option2", "series: a click on SA/SX/SC focuses it");
            driver::Key(VK_RIGHT);
            ExpectFocus(program, "Option3", "series: Right moves to EH/EH2/SV");
        }
        std::vector<bool> expected(3, false);
        expected[static_cast<std::size_t>(option)] = true;
        driver::WaitFor([&] { return OptionsOn(program) == expected; });
        Expect(OptionsOn(program) == expected, "series: " + series + " alone on");
        ExpectEqual(TextOf(program.Control("d_modbus")), std::string("1005"),
                    "series: choosing " + series + " recomputes nothing");
        ReplaceText(program, "d_delta", "77");
        ReplaceText(program, "c_delta", "1");  // a witness that the change has been handled
        ExpectText(program.Control("c_modbus"), "0E01", "series: C converts under " + series);
        ExpectEqual(TextOf(program.Control("d_modbus")), std::string("1005"),
                    "series: D 77 leaves the D address under " + series);
        ReplaceText(program, "c_delta", "0");
    }
    driver::Click(program.Control(kOptions[0]));
    driver::WaitFor([&] { return driver::Checked(program.Control(kOptions[0])); });
    ExpectEqual(TextOf(program.Control("d_modbus")), std::string("1005"),
                "series: SS/ES/EX again recomputes nothing");
    ReplaceText(program, "d_delta", "12");
    ExpectText(program.Control("d_modbus"), "100C", "series: D converts again under SS/ES/EX");
}

void ArrowKeys(const Program& program) {
    driver::Activate(program.main());
    driver::MouseClick(program.Control(kOptions[0]));
    ExpectFocus(program, "Option1", "arrows: a click on SS/ES/EX focuses it");
    const std::pair<WORD, std::size_t> steps[] = {
        {VK_RIGHT, 1}, {VK_RIGHT, 2}, {VK_LEFT, 1}, {VK_LEFT, 0}};
    for (const auto& [key, option] : steps) {
        driver::Key(key);
        const std::string name(window::form11_layout::kLayout[kOptions[option].index()].name);
        ExpectFocus(program, name,
                    "arrows: " + std::string(key == VK_RIGHT ? "Right" : "Left") + " to " + name);
        std::vector<bool> expected(3, false);
        expected[option] = true;
        driver::WaitFor([&] { return OptionsOn(program) == expected; });
        Expect(OptionsOn(program) == expected, "arrows: " + name + " alone on");
    }
}

void Reset(const Program& program) {
    const std::pair<const char*, const char*> typed[] = {{"D", "5"},   {"M", "1536"}, {"C", "200"},
                                                         {"T", "255"}, {"X", "17"},   {"Y", "377"},
                                                         {"S", "256"}};
    for (const auto& [row, text] : typed) {
        ReplaceText(program, Row(row).plc, text);
    }
    ExpectText(program.Control("s_modbus"), "100", "reset: rows typed");
    ReplaceText(program, "m_modbus", "junk");
    driver::Click(program.Control("Command6"));
    for (const RowFields& row : kRows) {
        ExpectText(program.Control(row.modbus), row.start,
                   std::string("reset: ") + row.letter + " Modbus address of device 0");
        ExpectEqual(TextOf(program.Control(row.plc)), std::string("0"),
                    std::string("reset: ") + row.letter + " PLC address 0");
    }
    // A Modbus field typed over while its row reads 0 gets its address back.
    ReplaceText(program, "d_modbus", "more");
    driver::Click(program.Control("Command6"));
    ExpectText(program.Control("d_modbus"), "1000", "reset: a typed-over D Modbus field restored");

    // Under EH/EH2/SV every row but D is recomputed, and the series stays.
    for (const auto& [row, text] : typed) {
        ReplaceText(program, Row(row).plc, text);
    }
    ExpectText(program.Control("s_modbus"), "100", "reset: rows typed again");
    driver::Click(program.Control(kOptions[2]));
    driver::WaitFor([&] { return driver::Checked(program.Control(kOptions[2])); });
    driver::Click(program.Control("Command6"));
    for (const RowFields& row : kRows) {
        if (std::string(row.letter) != "D") {
            ExpectText(program.Control(row.modbus), row.start,
                       std::string("reset under EH/EH2/SV: ") + row.letter + " of device 0");
        }
    }
    ExpectEqual(TextOf(program.Control("d_delta")), std::string("0"),
                "reset under EH/EH2/SV: D PLC address 0");
    ExpectEqual(TextOf(program.Control("d_modbus")), std::string("1005"),
                "reset under EH/EH2/SV: the D address kept");
    Expect(OptionsOn(program) == std::vector<bool>{false, false, true},
           "reset under EH/EH2/SV: the series kept");
    driver::Click(program.Control(kOptions[0]));
    driver::WaitFor([&] { return driver::Checked(program.Control(kOptions[0])); });
}

// ---- Keyboard ----------------------------------------------------------------------------------

std::vector<std::string> TabCycle(const std::string& optionOn) {
    return {"Command6", optionOn,   "m_delta", "m_modbus", "c_delta",  "c_modbus",
            "t_delta",  "t_modbus", "x_delta", "x_modbus", "y_modbus", "s_modbus",
            "d_delta",  "y_delta",  "s_delta", "Command1", "Command2", "d_modbus"};
}

std::vector<std::string> Walk(const Program& program, bool shift) {
    std::vector<std::string> seen;
    for (int i = 0; i < 18; ++i) {
        const std::string before = program.FocusName();
        driver::Key(VK_TAB, false, shift);
        driver::WaitFor([&] { return program.FocusName() != before; });
        seen.push_back(program.FocusName());
    }
    return seen;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string all;
    for (const std::string& name : names) {
        all += (all.empty() ? "" : " ") + name;
    }
    return all;
}

void TabOrder(const Program& program) {
    for (const std::size_t option : {std::size_t{0}, std::size_t{2}}) {
        const std::string name(window::form11_layout::kLayout[kOptions[option].index()].name);
        driver::Activate(program.main());
        driver::Click(program.Control(kOptions[option]));
        driver::WaitFor([&] { return driver::Checked(program.Control(kOptions[option])); });
        driver::MouseClick(program.Control("d_modbus"));
        ExpectFocus(program, "d_modbus", "tab: starting from d_modbus");
        ExpectEqual(Joined(Walk(program, false)), Joined(TabCycle(name)),
                    "tab: 18 stops with " + name + " on");
    }
    // From d_modbus back through Help, Exit, ... Reset, and d_modbus again (Option3 is on).
    const std::vector<std::string> forwards = TabCycle("Option3");
    std::vector<std::string> backwards(forwards.rbegin() + 1, forwards.rend());
    backwards.emplace_back("d_modbus");
    ExpectEqual(Joined(Walk(program, true)), Joined(backwards), "shift+tab: the cycle backwards");
    driver::Click(program.Control(kOptions[0]));
    driver::WaitFor([&] { return driver::Checked(program.Control(kOptions[0])); });
}

void AccessKeys(const Program& program) {
    for (const WORD key : {WORD{'P'}, WORD{'M'}}) {
        const std::string alt = std::string("Alt+") + static_cast<char>(key);
        driver::Activate(program.main());
        driver::MouseClick(program.Control("x_delta"));
        ExpectFocus(program, "x_delta", alt + ": starting in x_delta");
        ReplaceText(program, "x_delta", "17");
        ExpectText(program.Control("x_modbus"), "040F", alt + ": X 17");
        driver::Key(key, true);
        ExpectFocus(program, "Command6", alt + " moves the focus to Reset");
        driver::WaitFor([&] { return false; }, 300);
        ExpectEqual(TextOf(program.Control("x_delta")), std::string("17"),
                    alt + " does not press Reset");
    }
    driver::Key(VK_SPACE);
    ExpectText(program.Control("x_delta"), "0", "Space on the focused Reset presses it");
    ReplaceText(program, "x_delta", "17");
    ExpectText(program.Control("x_modbus"), "040F", "Alt+R: X 17");
    driver::Key('R', true);
    ExpectText(program.Control("x_modbus"), "0400", "Alt+R presses Reset");
}

// ---- The About window --------------------------------------------------------------------------

HWND OpenAbout(const Program& program, bool byKey) {
    driver::Activate(program.main());
    if (byKey) {
        driver::Key('H', true);
    } else {
        driver::Click(program.Control("Command2"));
    }
    HWND about = program.WaitAbout();
    driver::WaitFor([&] { return GetForegroundWindow() == about; });
    ExpectFocus(program, "OK", "About: open with the focus on OK");
    return about;
}

void ConvertsInMain(const Program& program, const std::string& typed, const std::string& shown,
                    const std::string& what) {
    ReplaceText(program, "c_delta", typed);
    ExpectText(program.Control("c_modbus"), shown, what + ": the main window converts");
}

void About(const Program& program) {
    HWND about = OpenAbout(program, false);
    driver::Click(program.Control("Command2"));
    ConvertsInMain(program, "100", "0E64", "Help twice");
    ExpectEqual(static_cast<int>(program.AboutWindows().size()), 1, "Help twice: one About window");

    ExpectEqual(driver::ClientOnScreen(about), Box{480, 194, 328, 214},
                "About: client area 328 x 214 at 480, 194");
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(about, GWL_STYLE));
    Expect((style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) == 0 &&
               (style & WS_SYSMENU) != 0,
           "About: a fixed border and a close box only");
    Expect(GetWindow(about, GW_OWNER) == nullptr, "About: no owner window");
    ExpectEqual(driver::PlaceInParent(program.AboutControl(about, "picIcon")), Box{8, 8, 80, 104},
                "About: the photograph's box 80 x 104 at 8, 8");
    ExpectEqual(driver::PlaceInParent(program.AboutControl(about, "cmdOK")), Box{232, 160, 84, 23},
                "About: OK 84 x 23 at 232, 160");
    Expect((GetWindowLongPtrW(program.AboutControl(about, "cmdOK"), GWL_STYLE) & BS_TYPEMASK) ==
               BS_DEFPUSHBUTTON,
           "About: OK is the default button");
    const AboutTexted texts[] = {
        {"lblTitle", "ZENTRIQ V1.00"},     {"lblVersion", "DESIGN FOR DELTA PLC  DVP Series "},
        {"Label4", "SS/ES/EX Series"},     {"Label5", "SA/SC/SX Series"},
        {"Label6", "SV/EH/EH2 Series"},    {"lblDescription", "HOLVENT .Co"},
        {"Label7", "November , 13, 2009"}, {"cmdOK", "OK"}};
    for (const auto& [name, text] : texts) {
        ExpectEqual(
            TextOf(program.AboutControl(about, name)), std::string(text),
            "About: text of " + std::string(window::frm_about_layout::kLayout[name.index()].name));
    }
    for (const AboutName name :
         {AboutName("Label1"), AboutName("lblDisclaimer"), AboutName("Label2")}) {
        const std::string text = TextOf(program.AboutControl(about, name));
        Expect(!text.empty() && text.find('\n') == std::string::npos,
               "About: one line of text in " +
                   std::string(window::frm_about_layout::kLayout[name.index()].name));
    }
    if (const auto said = driver::AccessibleName(program.AboutControl(about, "picIcon"))) {
        ExpectEqual(*said, std::string("Product photograph"),
                    "About: the photograph's accessible name");
    }

    driver::Activate(program.main());
    ConvertsInMain(program, "1", "0E01", "About open");

    // A minimized About window comes back normal and active with Help.
    ShowWindowAsync(about, SW_MINIMIZE);
    driver::WaitFor([&] { return IsIconic(about) != FALSE; });
    driver::Click(program.Control("Command2"));
    driver::WaitFor([&] { return !IsIconic(about) && GetForegroundWindow() == about; });
    Expect(!IsIconic(about) && GetForegroundWindow() == about,
           "About: Help brings a minimized one back, normal and active");

    struct Way {
        const char* name;
        void (*close)(const Program&, HWND);
    };
    const Way ways[] = {
        {"Esc", [](const Program&, HWND) { driver::Key(VK_ESCAPE); }},
        {"Enter", [](const Program&, HWND) { driver::Key(VK_RETURN); }},
        {"a click on OK",
         [](const Program& p, HWND a) { driver::Click(p.AboutControl(a, "cmdOK")); }},
        {"the close box",
         [](const Program&, HWND a) { PostMessageW(a, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"Alt+F4", [](const Program&, HWND) { driver::Key(VK_F4, true); }},
    };
    for (const Way& way : ways) {
        HWND open = OpenAbout(program, false);
        way.close(program, open);
        driver::WaitFor([&] { return program.AboutWindows().empty(); });
        Expect(program.AboutWindows().empty() && !IsWindow(open),
               std::string(way.name) + " closes and destroys the About window");
        Expect(program.Running() && program.Windows() == std::vector<HWND>{program.main()},
               std::string(way.name) + ": the program runs on with its main window alone");
        const std::string typed = std::to_string(std::string(way.name).size());
        char shown[8];
        std::snprintf(shown, sizeof(shown), "0E%02X", static_cast<unsigned>(std::stoi(typed)));
        ConvertsInMain(program, typed, shown, way.name);
    }
}

// ---- How the program ends
// ------------------------------------------------------------------------

std::optional<Program> Start(const std::wstring& program, const std::string& what) {
    std::optional<Program> started = Program::Start(program);
    Expect(started.has_value(), what + ": the program starts and shows its main window");
    return started;
}

void Ending(const std::wstring& path) {
    if (auto program = Start(path, "Exit")) {
        driver::Click(program->Control("Command1"));
        Expect(program->WaitExit() == DWORD{0}, "Exit ends the program with status 0");
    }
    if (auto program = Start(path, "Exit with About open")) {
        OpenAbout(*program, true);
        driver::Activate(program->main());
        driver::Key('E', true);
        Expect(program->WaitExit() == DWORD{0}, "Alt+E with About open ends the program");
    }
    if (auto program = Start(path, "close box")) {
        PostMessageW(program->main(), WM_SYSCOMMAND, SC_CLOSE, 0);
        Expect(program->WaitExit() == DWORD{0}, "closing the main window alone ends the program");
    }
    if (auto program = Start(path, "close box with About open")) {
        HWND about = OpenAbout(*program, false);
        HWND main = program->main();
        PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
        driver::WaitFor([&] { return !IsWindow(main); });
        Expect(!IsWindow(main), "close box with About open: the main window goes");
        Expect(!program->WaitExit(500).has_value() && IsWindowVisible(about) && !IsIconic(about),
               "close box with About open: the program runs on, its About window shown");
        driver::Activate(about);
        ExpectFocus(*program, "OK", "close box with About open: the focus on OK");
        driver::Key(VK_ESCAPE);
        Expect(program->WaitExit() == DWORD{0}, "closing the About window then ends the program");
    }
}

int RunWindow(const std::wstring& path) {
    std::optional<Program> program = Start(path, "start-up");
    if (!program) {
        return 100;
    }
    StartUpState(*program);
    Controls(*program);
    Frame(*program);
    Typing(*program);
    Keystrokes(*program);
    ModbusFieldTyping(*program);
    Series(*program);
    ArrowKeys(*program);
    Reset(*program);
    TabOrder(*program);
    AccessKeys(*program);
    About(*program);
    OpenAbout(*program, false);
    driver::Activate(program->main());
    driver::Click(program->Control("Command1"));
    Expect(program->WaitExit() == DWORD{0}, "Exit with About open ends the program");
    Expect(program->Windows().empty(), "Exit with About open: no window left");
    program.reset();
    Ending(path);
    return failures;
}

int RunStartup(const std::wstring& command, const std::wstring& expectedDirectory) {
    std::optional<Program> program = Start(command, "start from the shortcut");
    if (!program) {
        return 100;
    }
    const std::wstring image = program->ImagePath();
    Expect(
        _wcsicmp(image.substr(0, expectedDirectory.size()).c_str(), expectedDirectory.c_str()) == 0,
        "the shortcut starts " + driver::Utf8(expectedDirectory) + "zentriq.exe (started " +
            driver::Utf8(image) + ")");
    StartUpState(*program);
    driver::Click(program->Control("Command1"));
    Expect(program->WaitExit() == DWORD{0}, "Exit ends the installed program");
    return failures;
}

int RunPose(const std::wstring& path) {
    std::optional<Program> program = Program::Start(path);
    if (!program) {
        return 100;
    }
    const Texted typed[] = {{"m_delta", "1536"}, {"c_delta", "200"}, {"x_delta", "17"}};
    for (const auto& [field, text] : typed) {
        ReplaceText(*program, field, text);
    }
    ExpectText(program->Control("x_modbus"), "040F", "pose: rows typed");
    HWND about = OpenAbout(*program, false);
    RECT main{};
    GetWindowRect(program->main(), &main);
    SetWindowPos(about, nullptr, main.right + 24, main.top + 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    driver::WaitFor([&] { return false; }, 500);
    // Left running for the screenshot; the caller ends it with its Wine session.
    program->LeaveRunning();
    std::printf("posed\n");
    return failures;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {  // NOLINT(readability-identifier-naming): the entry point
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (argc == 3 && mode == L"window") {
        return RunWindow(argv[2]);
    }
    if (argc == 4 && mode == L"startup") {
        return RunStartup(argv[2], argv[3]);
    }
    if (argc == 3 && mode == L"pose") {
        return RunPose(argv[2]);
    }
    std::fprintf(stderr,
                 "usage: driver window PROGRAM | driver startup SHORTCUT DIRECTORY | driver pose "
                 "PROGRAM\n");
    return 2;
}
