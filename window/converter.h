// ConverterModel, what the main converter window does, whatever toolkit draws it: load, the
// conversion of each row as its PLC field changes, the series options, Reset, Help with one About
// window at most, Exit, and the order in which the windows close.
//
// How data flows: a front end builds its controls from form11_layout.h, makes a ConverterModel that
// talks back to it through ConverterView, and calls Load() before it first shows the window. From
// then on it only forwards events (every change of a field's text, every option the user turns on,
// every button click, the end of the About window, the closing of the main window) and mirrors what
// the model asks for into its controls. Controls are named by their places in
// form11_layout::kLayout on both sides. The model holds the fields' texts and the selected series.
// A change the front end makes at the model's request comes back to it as an event and is
// recognised as an echo: the model already holds that text, or that option is already on, so it is
// ignored.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "conversion/address_map.h"
#include "window/form11_layout.h"

namespace window {

// What a front end does at the model's request. Called from inside the model's event handlers, on
// the thread that calls them.
class ConverterView {
  public:
    // Sets the text of the field at `control` (UTF-8). Setting the text a field already holds may
    // be reported back as a change or not.
    virtual void SetText(std::size_t control, std::string_view text) = 0;
    // Turns the option at `control` on or off, without the group turning any other one off.
    virtual void SetChecked(std::size_t control, bool on) = 0;
    // Builds the About window, which does not exist.
    virtual void CreateAbout() = 0;
    // Shows the About window, which exists, without an owner and non-modally; brings it back if it
    // was minimized.
    virtual void ShowAbout() = 0;
    // Ends the program at once: every window closes, the About window included, and no handler
    // runs any more.
    virtual void EndProgram() = 0;

  protected:
    ~ConverterView() = default;
};

class ConverterModel {
  public:
    // Holds `view`, which must outlive the model. Nothing is asked of it before Load().
    explicit ConverterModel(ConverterView& view) noexcept;

    // The window's load: the series SS, the first option on and the other two off, and "0" in
    // every PLC field, which fills every Modbus field with the address of device 0.
    void Load();

    // The text of the field at `control` is now `text` (UTF-8): typed, pasted, deleted, or set by
    // the model. A PLC field's row is converted again; a Modbus field only keeps its text. Other
    // controls and repeats of the text the field holds are ignored.
    void TextChanged(std::size_t control, std::string_view text);

    // The user clicked the button at `control`, or turned the option at `control` on. An option
    // that is already on, and a control that is neither, are ignored.
    void Clicked(std::size_t control);

    // The main window was closed by its close box, or the About window ended (it is destroyed).
    // The program ends when both have closed.
    void MainWindowClosed();
    void AboutClosed();

    conversion::PlcSeries Series() const noexcept { return series_; }
    // The text of the field at `control`; empty for any other control.
    std::string_view Text(std::size_t control) const noexcept;
    // Whether the option at `control` is on; false for any other control.
    bool IsOn(std::size_t control) const noexcept;
    bool AboutOpen() const noexcept { return aboutOpen_; }
    // True once the model has asked the front end to end the program; every event after that is
    // ignored.
    bool Ended() const noexcept { return ended_; }

  private:
    void SetText(std::size_t control, std::string text);
    void Convert(const form11_layout::Row& row);
    void SetOption(std::size_t option, bool on);
    void OptionClick(std::size_t option);
    void Reset();
    void Help();
    void End();

    ConverterView& view_;
    conversion::PlcSeries series_ = conversion::PlcSeries::SS;
    std::array<std::string, form11_layout::kControlCount> texts_{};
    std::array<bool, form11_layout::kOptions.size()> on_{};
    bool aboutOpen_ = false;
    bool mainClosed_ = false;
    bool ended_ = false;
};

}  // namespace window
