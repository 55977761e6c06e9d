#include "window/converter.h"

#include <optional>
#include <utility>

namespace window {

namespace {

using form11_layout::kOptions;
using form11_layout::kRows;
using form11_layout::Row;

constexpr std::size_t kNone = form11_layout::kControlCount;

constexpr bool IsField(std::size_t control) noexcept {
    return control < form11_layout::kControlCount &&
           form11_layout::kLayout[control].kind == form11_layout::Kind::Field;
}

// The option at `control` as its place among the options; kNone for any other control.
constexpr std::size_t OptionAt(std::size_t control) noexcept {
    for (std::size_t i = 0; i < kOptions.size(); ++i) {
        if (kOptions[i].option.index() == control) {
            return i;
        }
    }
    return kNone;
}

// The series options by their place in kOptions.
enum OptionPlace : std::size_t { SsOption, ScOption, SvOption };
static_assert(kOptions[SsOption].series == conversion::PlcSeries::SS &&
              kOptions[ScOption].series == conversion::PlcSeries::SC &&
              kOptions[SvOption].series == conversion::PlcSeries::SV);

// The options each option turns off when it is turned on, in the order it turns them off.
constexpr std::array<std::array<std::size_t, 2>, 3> kTurnsOff{{
    {ScOption, SvOption},  // SS
    {SsOption, SvOption},  // SC
    {ScOption, SsOption},  // SV
}};

}  // namespace

ConverterModel::ConverterModel(ConverterView& view) noexcept : view_(view) {}

void ConverterModel::Load() {
    series_ = conversion::PlcSeries::SS;
    SetOption(0, true);
    OptionClick(0);
    SetOption(1, false);
    SetOption(2, false);
    for (const Row& row : kRows) {
        SetText(row.plc.index(), "0");
        Convert(row);
    }
}

void ConverterModel::TextChanged(std::size_t control, std::string_view text) {
    if (ended_ || !IsField(control) || texts_[control] == text) {
        return;
    }
    texts_[control] = text;
    for (const Row& row : kRows) {
        if (row.plc.index() == control) {
            Convert(row);
        }
    }
}

void ConverterModel::Clicked(std::size_t control) {
    if (ended_) {
        return;
    }
    if (const std::size_t option = OptionAt(control); option != kNone) {
        if (!on_[option]) {
            SetOption(option, true);
            OptionClick(option);
        }
    } else if (control == form11_layout::kReset.index()) {
        Reset();
    } else if (control == form11_layout::kHelp.index()) {
        Help();
    } else if (control == form11_layout::kExit.index()) {
        End();
    }
}

void ConverterModel::MainWindowClosed() {
    if (ended_) {
        return;
    }
    mainClosed_ = true;
    // The program runs on while the About window is open; brought to the front, since without the
    // main window's Help nothing would show it again once minimized.
    if (aboutOpen_) {
        view_.ShowAbout();
    } else {
        End();
    }
}

void ConverterModel::AboutClosed() {
    aboutOpen_ = false;
    if (!ended_ && mainClosed_) {
        End();
    }
}

std::string_view ConverterModel::Text(std::size_t control) const noexcept {
    return IsField(control) ? std::string_view(texts_[control]) : std::string_view();
}

bool ConverterModel::IsOn(std::size_t control) const noexcept {
    const std::size_t option = OptionAt(control);
    return option != kNone && on_[option];
}

// Takes the text by value: GCC 12 at -O3 warns of an overlapping copy when a short literal is
// assigned to a string here.
void ConverterModel::SetText(std::size_t control, std::string text) {
    texts_[control] = std::move(text);
    view_.SetText(control, texts_[control]);
}

void ConverterModel::Convert(const Row& row) {
    std::optional<std::string> address =
        conversion::ModbusAddressFor(row.kind, texts_[row.plc.index()], series_);
    if (address) {
        SetText(row.modbus.index(), std::move(*address));
    }
}

void ConverterModel::SetOption(std::size_t option, bool on) {
    on_[option] = on;
    view_.SetChecked(kOptions[option].option.index(), on);
}

void ConverterModel::OptionClick(std::size_t option) {
    series_ = kOptions[option].series;
    for (const std::size_t other : kTurnsOff[option]) {
        SetOption(other, false);
    }
}

// Every row is converted again even when its field already reads "0", so that a Modbus field the
// user typed into gets its address back. The D row under SC or SV still keeps its text, since its
// rule gives no result there.
void ConverterModel::Reset() {
    for (const Row& row : kRows) {
        SetText(row.plc.index(), "0");
        Convert(row);
    }
}

void ConverterModel::Help() {
    if (!aboutOpen_) {
        aboutOpen_ = true;
        view_.CreateAbout();
    }
    view_.ShowAbout();
}

void ConverterModel::End() {
    ended_ = true;
    view_.EndProgram();
}

}  // namespace window
