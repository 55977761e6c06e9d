// What the program's two top-level windows, the converter and About, do alike: their window class
// and the one window procedure that finds the object behind a window, controls placed from a layout
// table in twips, and the move to a monitor of another DPI. A window of its own builds its controls
// and handles its messages; everything else comes here.
//
// The object is given to CreateWindowExW and kept in the window's user data until WM_NCDESTROY, so
// that every message after the first reaches it. A derived window destroys its window in its own
// destructor, while its handlers, which the destruction still calls, are there to run.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <span>
#include <string_view>
#include <tuple>
#include <vector>

#include "win32/controls.h"
#include "win32/system_font.h"
#include "window/layout.h"

namespace win32 {

// The window class and styles a control of a layout table is made with.
struct ControlStyle {
    const wchar_t* windowClass;
    DWORD style;
    DWORD exStyle = 0;
};

// The places of a layout table's controls, in the table's order.
template <typename Table>
constexpr auto PlacesOf(const Table& table) {
    std::array<window::TwipRect, std::tuple_size_v<Table>> places{};
    for (std::size_t i = 0; i < places.size(); ++i) {
        places[i] = table[i].place;
    }
    return places;
}

class TopLevelWindow {
  public:
    // A window's own table and frame: its title in UTF-8, its style, the size of its client area,
    // and the places of its controls (which outlive the window).
    struct Frame {
        const wchar_t* className;
        std::string_view title;
        DWORD style;
        window::TwipRect clientArea;
        std::span<const window::TwipRect> places;
    };

    // `fonts` must outlive the window.
    TopLevelWindow(InterfaceFonts& fonts, const Frame& frame);
    virtual ~TopLevelWindow();
    TopLevelWindow(const TopLevelWindow&) = delete;
    TopLevelWindow& operator=(const TopLevelWindow&) = delete;

    // Destroys the window, if there is one; its controls go with it.
    void Destroy();

  protected:
    // Makes the window, hidden, at the top-left corner of the primary screen: its controls
    // (BuildControls) at that screen's DPI, its icons, and its frame around the client area. False
    // when Windows could not make the window.
    bool Create();

    // Makes control `index` of the table at its place at `dpi`, in the interface font for that DPI.
    HWND AddControl(std::size_t index, const ControlStyle& style, std::string_view text, int id,
                    int dpi);
    // Places and sizes every control for `dpi` and gives it the font for that DPI.
    void LayOut(int dpi);

    // Whether `message` is for the window or one of its controls.
    bool IsFor(const MSG& message) const;

    HWND hwnd() const noexcept { return hwnd_; }
    HWND Control(std::size_t index) const noexcept { return controls_[index]; }
    InterfaceFonts& fonts() const noexcept { return fonts_; }

    virtual void BuildControls(int dpi) = 0;
    // Every message but the move to another DPI and the last one, WM_NCDESTROY.
    virtual LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // The window has been destroyed, whoever destroyed it; hwnd() and the controls are null.
    virtual void Destroyed() = 0;

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void DpiChanged(int dpi, const RECT& suggested);

    InterfaceFonts& fonts_;
    Frame frame_;
    WindowIcons icons_;
    HWND hwnd_ = nullptr;
    std::vector<HWND> controls_;
};

}  // namespace win32
