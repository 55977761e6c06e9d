// frmAbout on Windows: the About window made of standard Static and Button controls, each built
// from its entry in window/frm_about_layout.h and stacked as its stacking table says.
//
// How data flows: none does. Its content is fixed when it is built; its one action closes it: OK
// (the default button, so Enter presses it), Esc (the dialog manager's cancel) and the close box
// all destroy the window, and the main window hears of it through `ended`, as it does when the
// program ends. The photograph is the JPEG resource decoded by WIC, drawn by a bitmap Static at its
// natural size from the box's top-left corner and cut off at the box's edges.
#pragma once

#include <windows.h>

#include <shobjidl.h>

#include <functional>

#include "win32/controls.h"
#include "win32/system_font.h"
#include "win32/top_level_window.h"
#include "window/frm_about_layout.h"

namespace win32 {

class AboutWindow final : public TopLevelWindow {
  public:
    // `ended` runs when the window has been destroyed, whoever destroyed it.
    AboutWindow(InterfaceFonts& fonts, std::function<void()> ended);
    ~AboutWindow();
    AboutWindow(const AboutWindow&) = delete;
    AboutWindow& operator=(const AboutWindow&) = delete;

    // Builds the window, hidden, at its place on the screen.
    bool Open();
    // Shows it, normal and active, with the focus on OK, whatever state it was left in, and without
    // a button in the taskbar.
    void Show();
    // Hands `message` to the window's dialog-manager keyboard handling when it is for this window.
    bool TranslateKeyboard(MSG& message);

  private:
    // TopLevelWindow
    void BuildControls(int dpi) override;
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Destroyed() override;

    HWND Ok() const;

    std::function<void()> ended_;
    AccessibleNames names_;
    HBITMAP photo_ = nullptr;
    HBRUSH grey_ = nullptr;
    HBRUSH white_ = nullptr;
    // The shell's taskbar, which takes the window's button off again each time it is shown: a
    // window without an owner gets one otherwise.
    ITaskbarList* taskbar_ = nullptr;
};

}  // namespace win32
