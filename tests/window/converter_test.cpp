// The main window's behaviour through its model, driven by a front end that holds controls the way
// a toolkit does: load, each row converting as typed, the series options, Reset, Help with one
// About window, Exit, and the order in which the windows close.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "test_names.h"
#include "window/converter.h"
#include "window/form11_layout.h"

namespace {

using window::ConverterModel;
using window::form11_layout::kControlCount;
using window::form11_layout::kLayout;
using window::form11_layout::Name;

constexpr const char* kRowLetters[] = {"d", "m", "c", "t", "x", "y", "s"};

// Controls as a toolkit holds them. Like Win32's Edit control, every text set by the program is
// reported back as a change, even the text the field already holds; like Qt's button group, an
// option turned on by the program is reported as turned on. Every request of the model is logged.
class FakeWindow : public window::ConverterView {
  public:
    FakeWindow() : model_(*this) {}

    ConverterModel& model() { return model_; }

    // The user replaces the field's text.
    void Type(Name field, std::string_view text) {
        texts_[field.index()] = text;
        model_.TextChanged(field.index(), text);
    }
    // The user turns an option on: the group turns the others off.
    void ClickOption(Name option) {
        const bool wasOn = on_[option.index()];
        for (const auto& other : window::form11_layout::kOptions) {
            on_[other.option.index()] = false;
        }
        on_[option.index()] = true;
        if (!wasOn) {
            model_.Clicked(option.index());
        }
    }
    void Click(Name button) { model_.Clicked(button.index()); }

    std::string Field(std::string_view name) const {
        for (std::size_t i = 0; i < kLayout.size(); ++i) {
            if (kLayout[i].name == name) {
                return texts_[i];
            }
        }
        ADD_FAILURE() << "no field " << name;
        return {};
    }
    // Every field's text, row by row: PLC field then Modbus field.
    std::vector<std::string> Fields() const {
        std::vector<std::string> texts;
        for (const char* letter : kRowLetters) {
            texts.push_back(Field(std::string(letter) + "_delta"));
            texts.push_back(Field(std::string(letter) + "_modbus"));
        }
        return texts;
    }
    std::vector<bool> Options() const {
        std::vector<bool> on;
        for (const auto& option : window::form11_layout::kOptions) {
            on.push_back(on_[option.option.index()]);
        }
        return on;
    }

    std::vector<std::string> log;

  private:
    void SetText(std::size_t control, std::string_view text) override {
        log.push_back(std::string(kLayout[control].name) + "=" + std::string(text));
        texts_[control] = text;
        model_.TextChanged(control, text);
    }
    void SetChecked(std::size_t control, bool on) override {
        log.push_back(std::string(kLayout[control].name) + (on ? " on" : " off"));
        const bool turnedOn = on && !on_[control];
        on_[control] = on;
        if (turnedOn) {
            model_.Clicked(control);
        }
    }
    void CreateAbout() override { log.emplace_back("create About"); }
    void ShowAbout() override { log.emplace_back("show About"); }
    void EndProgram() override { log.emplace_back("end"); }

    ConverterModel model_;
    std::array<std::string, kControlCount> texts_{};
    std::array<bool, kControlCount> on_{};
};

// A front end whose window has been loaded, with an empty log.
class Loaded : public testing::Test {
  protected:
    Loaded() {
        window_.model().Load();
        window_.log.clear();
    }

    FakeWindow window_;
};

const std::vector<std::string> kAtLoad = {"0",    "1000", "0",    "0800", "0",    "0E00", "0",
                                          "0600", "0",    "0400", "0",    "0500", "0",    "0000"};

TEST(ConverterLoad, FillsEveryRowInOrderAndTurnsTheFirstOptionOn) {
    FakeWindow window;
    window.model().Load();
    EXPECT_EQ(window.Fields(), kAtLoad);
    EXPECT_EQ(window.Options(), (std::vector<bool>{true, false, false}));
    EXPECT_EQ(window.model().Series(), conversion::PlcSeries::SS);
    const std::vector<std::string> expected = {
        "Option1 on",    "Option2 off",   "Option3 off",   "Option2 off",   "Option3 off",
        "d_delta=0",     "d_modbus=1000", "m_delta=0",     "m_modbus=0800", "c_delta=0",
        "c_modbus=0E00", "t_delta=0",     "t_modbus=0600", "x_delta=0",     "x_modbus=0400",
        "y_delta=0",     "y_modbus=0500", "s_delta=0",     "s_modbus=0000"};
    EXPECT_EQ(window.log, expected);
}

TEST(ConverterLoad, AsksNothingOfTheFrontEndBeforeLoad) {
    FakeWindow window;
    EXPECT_TRUE(window.log.empty());
    EXPECT_EQ(window.model().Text(Name("d_modbus").index()), "");
}

struct TypedCase {
    const char* name;
    Name plc;
    const char* typed;
    const char* shown;  // in the row's Modbus field
};
ZENTRIQ_PRINT_ROW_AS_NAME(TypedCase)

class RowConvertsAsTyped : public Loaded, public testing::WithParamInterface<TypedCase> {};

TEST_P(RowConvertsAsTyped, IntoItsOwnModbusFieldOnly) {
    const TypedCase& c = GetParam();
    const auto& rows = window::form11_layout::kRows;
    const auto row = static_cast<std::size_t>(
        std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.plc == c.plc; }) -
        rows.begin());
    ASSERT_LT(row, rows.size());
    std::vector<std::string> expected = kAtLoad;
    expected[2 * row] = c.typed;
    expected[2 * row + 1] = c.shown;
    window_.Type(c.plc, c.typed);
    EXPECT_EQ(window_.Fields(), expected);
}

const TypedCase kTypedCases[] = {
    {"S0", "s_delta", "0", "0000"},
    {"S15LastWithThreeZeros", "s_delta", "15", "000F"},
    {"S16FirstWithTwoZeros", "s_delta", "16", "0010"},
    {"S255", "s_delta", "255", "00FF"},
    {"S256NoZeros", "s_delta", "256", "100"},
    {"X7", "x_delta", "7", "0407"},
    {"X10Octal", "x_delta", "10", "0408"},
    {"X17Octal", "x_delta", "17", "040F"},
    {"X377Octal", "x_delta", "377", "04FF"},
    {"Y17Octal", "y_delta", "17", "050F"},
    {"T255", "t_delta", "255", "06FF"},
    {"M1535LowerBase", "m_delta", "1535", "0DFF"},
    {"M1536UpperBase", "m_delta", "1536", "B000"},
    {"C200", "c_delta", "200", "0EC8"},
    {"C12abcReads12", "c_delta", "12abc", "0E0C"},
    {"D4095", "d_delta", "4095", "1FFF"},
};
INSTANTIATE_TEST_SUITE_P(Rows, RowConvertsAsTyped, testing::ValuesIn(kTypedCases),
                         RowName<TypedCase>);

struct SeriesCase {
    const char* name;
    Name option;
    conversion::PlcSeries series;
    bool dConverts;
    std::vector<std::string> turnedOff;  // in order
    std::vector<bool> on;                // the three options once it is on
};
ZENTRIQ_PRINT_ROW_AS_NAME(SeriesCase)

class DRowUnderSeries : public Loaded, public testing::WithParamInterface<SeriesCase> {};

TEST_P(DRowUnderSeries, ConvertsOnlyUnderSs) {
    const SeriesCase& c = GetParam();
    window_.Type("d_delta", "16");
    ASSERT_EQ(window_.Field("d_modbus"), "1010");
    const std::vector<std::string> before = window_.Fields();

    window_.ClickOption(c.option);
    EXPECT_EQ(window_.Fields(), before);  // choosing a series recomputes nothing
    EXPECT_EQ(window_.model().Series(), c.series);
    window_.Type("d_delta", "300");
    EXPECT_EQ(window_.Field("d_modbus"), c.dConverts ? "112C" : "1010");
    window_.Type("d_delta", "");
    EXPECT_EQ(window_.Field("d_modbus"), c.dConverts ? "1000" : "1010");
    window_.Type("s_delta", "15");  // the other rows convert under every series
    EXPECT_EQ(window_.Field("s_modbus"), "000F");

    window_.ClickOption("Option1");
    EXPECT_EQ(window_.model().Series(), conversion::PlcSeries::SS);
    window_.Type("d_delta", "7");
    EXPECT_EQ(window_.Field("d_modbus"), "1007");
}

TEST_P(DRowUnderSeries, OptionTurnsTheOtherTwoOffInItsOrder) {
    const SeriesCase& c = GetParam();
    window_.ClickOption(c.option == Name("Option2") ? Name("Option3") : Name("Option2"));
    window_.log.clear();
    window_.ClickOption(c.option);
    std::vector<std::string> expected = {std::string(kLayout[c.option.index()].name) + " on"};
    expected.insert(expected.end(), c.turnedOff.begin(), c.turnedOff.end());
    EXPECT_EQ(window_.log, expected);
    EXPECT_EQ(window_.Options(), c.on);
}

const SeriesCase kSeriesCases[] = {
    {"SsEsEx",
     "Option1",
     conversion::PlcSeries::SS,
     true,
     {"Option2 off", "Option3 off"},
     {true, false, false}},
    {"SaSxSc",
     "Option2",
     conversion::PlcSeries::SC,
     false,
     {"Option1 off", "Option3 off"},
     {false, true, false}},
    {"EhEh2Sv",
     "Option3",
     conversion::PlcSeries::SV,
     false,
     {"Option2 off", "Option1 off"},
     {false, false, true}},
};
INSTANTIATE_TEST_SUITE_P(Series, DRowUnderSeries, testing::ValuesIn(kSeriesCases),
                         RowName<SeriesCase>);

TEST_F(Loaded, OptionAlreadyOnDoesNothing) {
    window_.model().Clicked(Name("Option1").index());
    EXPECT_TRUE(window_.log.empty());
    EXPECT_EQ(window_.model().Series(), conversion::PlcSeries::SS);
}

class ResetUnderSeries : public Loaded, public testing::WithParamInterface<SeriesCase> {};

TEST_P(ResetUnderSeries, ZeroesEveryRowButKeepsSeriesAndDUnlessSs) {
    const SeriesCase& c = GetParam();
    window_.Type("d_delta", "25");
    window_.ClickOption(c.option);
    window_.Type("m_delta", "1536");
    window_.Type("x_delta", "17");
    window_.Type("s_delta", "256");
    window_.Type("d_delta", "40");
    window_.Type("c_modbus", "typed over");
    window_.Type("t_modbus", "");

    window_.Click("Command6");
    std::vector<std::string> expected = kAtLoad;
    expected[1] = c.dConverts ? "1000" : "1019";  // under SC and SV, D 25 from before the switch
    EXPECT_EQ(window_.Fields(), expected);
    EXPECT_EQ(window_.model().Series(), c.series);
    EXPECT_EQ(window_.Options(), c.on);
}
INSTANTIATE_TEST_SUITE_P(Series, ResetUnderSeries, testing::ValuesIn(kSeriesCases),
                         RowName<SeriesCase>);

TEST_F(Loaded, TypingIntoModbusFieldChangesNothingElse) {
    window_.Type("x_delta", "17");
    window_.log.clear();
    window_.Type("m_modbus", "hello 99");
    EXPECT_TRUE(window_.log.empty());
    EXPECT_EQ(window_.model().Text(Name("m_modbus").index()), "hello 99");
    window_.Type("x_delta", "7");
    EXPECT_EQ(window_.Field("x_modbus"), "0407");
    EXPECT_EQ(window_.Field("m_modbus"), "hello 99");
    EXPECT_EQ(window_.Options(), (std::vector<bool>{true, false, false}));
}

TEST_F(Loaded, EventsOfOtherControlsAreIgnored) {
    for (const std::size_t control :
         {Name("Label2").index(), Name("Frame1").index(), kControlCount, std::size_t{1000}}) {
        window_.model().TextChanged(control, "12");
        window_.model().Clicked(control);
        EXPECT_EQ(window_.model().Text(control), "");
        EXPECT_FALSE(window_.model().IsOn(control));
    }
    EXPECT_TRUE(window_.log.empty());
}

// What the front end is asked to do for a sequence of the user's actions on the windows.
struct ClosingCase {
    const char* name;
    std::vector<std::string> actions;
    std::vector<std::string> log;
};
ZENTRIQ_PRINT_ROW_AS_NAME(ClosingCase)

class Closing : public Loaded, public testing::WithParamInterface<ClosingCase> {};

TEST_P(Closing, AsksTheFrontEnd) {
    const std::map<std::string, void (*)(FakeWindow&)> actions = {
        {"Help", [](FakeWindow& w) { w.Click("Command2"); }},
        {"Exit", [](FakeWindow& w) { w.Click("Command1"); }},
        {"Reset", [](FakeWindow& w) { w.Click("Command6"); }},
        {"type", [](FakeWindow& w) { w.Type("t_delta", "1"); }},
        {"close main", [](FakeWindow& w) { w.model().MainWindowClosed(); }},
        {"close About", [](FakeWindow& w) { w.model().AboutClosed(); }},
    };
    for (const std::string& action : GetParam().actions) {
        actions.at(action)(window_);
    }
    EXPECT_EQ(window_.log, GetParam().log);
}

const ClosingCase kClosingCases[] = {
    {"HelpCreatesAboutOnce", {"Help", "Help"}, {"create About", "show About", "show About"}},
    {"HelpAfterAboutClosedCreatesItAgain",
     {"Help", "close About", "Help"},
     {"create About", "show About", "create About", "show About"}},
    {"ExitEndsAndNothingRunsAfter",
     {"Help", "Exit", "close About", "type", "Reset", "Help", "close main"},
     {"create About", "show About", "end"}},
    {"ClosingMainAloneEnds", {"close main"}, {"end"}},
    {"ClosingMainWithAboutOpenShowsAboutAndWaits",
     {"Help", "close main", "close About"},
     {"create About", "show About", "show About", "end"}},
    {"ClosingAboutLeavesMainRunning",
     {"Help", "close About", "type"},
     {"create About", "show About", "t_modbus=0601"}},
};
INSTANTIATE_TEST_SUITE_P(Windows, Closing, testing::ValuesIn(kClosingCases), RowName<ClosingCase>);

TEST_F(Loaded, AboutOpenFollowsItsWindow) {
    EXPECT_FALSE(window_.model().AboutOpen());
    window_.Click("Command2");
    EXPECT_TRUE(window_.model().AboutOpen());
    window_.model().AboutClosed();
    EXPECT_FALSE(window_.model().AboutOpen());
    EXPECT_FALSE(window_.model().Ended());
}

}  // namespace
