// Form11 on Windows: the main converter window made of the standard Edit, Button and Static
// controls, each built from its entry in window/form11_layout.h and identified by its place there.
//
// How data flows: the window forwards every event to window::ConverterModel, which holds the
// fields' texts and the selected series, and mirrors what the model asks for into its controls
// (ConverterView). A change of an Edit's text (EN_CHANGE, typed or set) goes to TextChanged; a
// click of a button or of an option (BN_CLICKED, by the mouse, an access key or an arrow key) goes
// to Clicked; the close box goes to MainWindowClosed. Help builds the one About window here.
//
// Keyboard: the program's message loop hands the window's messages to the dialog manager
// (IsDialogMessage), which walks the tab order (the controls are created in the table's tab order,
// which makes it their Z order), keeps the series options one tab stop at the option that is on,
// moves among them with the arrow keys and presses buttons by their access keys. A label's access
// key is the one thing the dialog manager does differently (it would press the button after the
// label): TranslateLabelKey moves the focus there and presses nothing.
#pragma once

#include <windows.h>

#include <memory>
#include <string_view>

#include "win32/controls.h"
#include "win32/system_font.h"
#include "win32/top_level_window.h"
#include "window/converter.h"
#include "window/form11_layout.h"

namespace win32 {

class AboutWindow;

class MainWindow final : public TopLevelWindow, public window::ConverterView {
  public:
    // `fonts` must outlive the window.
    explicit MainWindow(InterfaceFonts& fonts);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Builds the window and its controls, runs the model's load and shows the window with the
    // focus in d_modbus. False when Windows could not make the window.
    bool Open(int showCommand);

    // Gives `message` to the keyboard handling of whichever of the program's windows it is for;
    // true when that handled it, and it is not to be dispatched.
    bool TranslateKeyboard(MSG& message);

    // ConverterView
    void SetText(std::size_t control, std::string_view text) override;
    void SetChecked(std::size_t control, bool on) override;
    void CreateAbout() override;
    void ShowAbout() override;
    void EndProgram() override;

  private:
    // TopLevelWindow
    void BuildControls(int dpi) override;
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Destroyed() override;

    void OnCommand(int id, int code);
    bool TranslateLabelKey(const MSG& message);
    void AboutEnded();

    AccessibleNames names_;
    // The control that had the focus when the window was last deactivated.
    HWND focus_ = nullptr;
    window::ConverterModel model_;
    std::unique_ptr<AboutWindow> about_;
    bool ended_ = false;
};

}  // namespace win32
