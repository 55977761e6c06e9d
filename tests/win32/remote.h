// What the test driver does to zentriq.exe from outside, as a user and an accessibility tool do:
// starts it, finds its windows and controls (by title and control ID), reads their texts, states,
// places and focus, sets texts, presses buttons, and types through the system's input queue.
// Every wait polls with a deadline; nothing sleeps a fixed time for the program to catch up.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "window/form11_layout.h"
#include "window/frm_about_layout.h"

namespace driver {

inline constexpr DWORD kStepTimeoutMs = 10000;

// Polls `done` until it holds or `timeoutMs` has passed; true when it held.
bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs = kStepTimeoutMs);

// A client area in screen pixels, as (left, top, width, height).
struct Box {
    int left;
    int top;
    int width;
    int height;
    bool operator==(const Box&) const = default;
};
std::string ToString(const Box& box);

std::wstring Text(HWND hwnd);
std::string Utf8(const std::wstring& text);
std::wstring ClassOf(HWND hwnd);
// The client area of `hwnd` on the screen.
Box ClientOnScreen(HWND hwnd);
// The place of `control` in its parent's client area.
Box PlaceInParent(HWND control);
// What a screen reader says for `hwnd`: its accessible object's name, empty when it has none;
// nothing when the system gives `hwnd` no accessible object at all (Wine gives none to the standard
// controls of another process).
std::optional<std::string> AccessibleName(HWND hwnd);

// One running copy of the program.
class Program {
  public:
    // Starts `command` (a program, or a shortcut to one) and waits for its main window.
    static std::optional<Program> Start(const std::wstring& command);
    Program(Program&& other) noexcept;
    Program& operator=(Program&&) = delete;
    Program(const Program&) = delete;
    ~Program();

    HWND main() const { return main_; }
    // The program's visible windows titled as the About window.
    std::vector<HWND> AboutWindows() const;
    // The program's visible top-level windows.
    std::vector<HWND> Windows() const;
    // The one About window once it is there; nullptr when it is not within the step's time.
    HWND WaitAbout() const;

    HWND Control(window::form11_layout::Name name) const;
    HWND AboutControl(HWND about, window::frm_about_layout::Name name) const;
    // The name in the main window's layout table of the control that has the keyboard focus, or
    // "OK" for the About window's button; empty for anything else.
    std::string FocusName() const;
    HWND Focus() const;

    bool Running() const;
    // The exit status once the program has ended within `timeoutMs`; nothing while it runs on.
    std::optional<DWORD> WaitExit(DWORD timeoutMs = kStepTimeoutMs) const;
    // The full path of the running program's executable.
    std::wstring ImagePath() const;
    // Lets go of the program without ending it.
    void LeaveRunning();

  private:
    Program(HANDLE process, DWORD id, HWND main) : process_(process), id_(id), main_(main) {}

    HANDLE process_;
    DWORD id_;
    HWND main_;
};

// Replaces the text of a field as a program does (WM_SETTEXT, which the field reports as a change).
void SetText(HWND field, const std::wstring& text);
// Presses a button or an option as the mouse does, through its own BM_CLICK.
void Click(HWND button);
bool Checked(HWND option);

// Brings `window` to the front and waits until it is the one the keyboard goes to.
bool Activate(HWND window);
// Presses and releases a key, with Alt and Shift held as asked, through the system's input queue.
void Key(WORD virtualKey, bool alt = false, bool shift = false);
// Types `text` one character at a time.
void Type(const std::wstring& text);
// A click of the left mouse button in the middle of `control`; never taken for the second half of a
// double-click.
void MouseClick(HWND control);

}  // namespace driver
