// What both Win32 windows share: twips placed at a monitor's DPI, the standard controls made from a
// table entry, the application icon, and the names screen readers say for controls whose own text
// does not name them.
#pragma once

#include <oleacc.h>
#include <windows.h>

#include <string>
#include <string_view>

#include "window/layout.h"

namespace win32 {

// The handle a window message carries in its WPARAM, LPARAM or result.
template <typename Handle, typename Integer>
Handle HandleFrom(Integer value) noexcept {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): Win32 passes handles as integers
    return reinterpret_cast<Handle>(value);
}

// The whole text of a window or control.
std::wstring WindowText(HWND hwnd);

// `place` in pixels on a screen of `dpi` dots per inch.
RECT ToPixels(window::TwipRect place, int dpi) noexcept;

// The dots per inch of the screen `hwnd` is on. A window made at (0, 0) is on the primary screen,
// from whose top-left corner the windows' places are measured.
int DpiOf(HWND hwnd) noexcept;

// Moves and sizes a top-level window so that its client area is `clientArea` at `dpi`, keeping its
// current top-left corner when `keepCorner` is set.
void PlaceClientArea(HWND hwnd, window::TwipRect clientArea, int dpi, bool keepCorner);

// Makes a standard control ("Edit", "Button", "Static") of `style` with `text` at `place`, in
// `font`.
HWND MakeControl(HWND parent, const wchar_t* windowClass, DWORD style, DWORD exStyle,
                 std::string_view text, int id, const RECT& place, HFONT font);

// The application icon of a window, in the title bar and the task switcher, at the sizes the system
// draws them at the window's DPI; the icons are the window's until it sets others or is destroyed.
class WindowIcons {
  public:
    WindowIcons() = default;
    ~WindowIcons();
    WindowIcons(const WindowIcons&) = delete;
    WindowIcons& operator=(const WindowIcons&) = delete;

    void Apply(HWND hwnd, int dpi);

  private:
    HICON small_ = nullptr;
    HICON large_ = nullptr;
};

// Makes an in-process COM object. The first call loads COM and joins the calling thread to a
// single-threaded apartment: the accessibility annotations, the taskbar and WIC are COM objects,
// and the program's first frame needs none of them, so COM is not loaded before it. LeaveCom ends
// the apartment if there was one.
HRESULT CreateComObject(const CLSID& type, const IID& kind, void** object);
void LeaveCom();

// Gives `control` the name screen readers say for it, through the system's accessibility
// annotations; does nothing where the system has none.
class AccessibleNames {
  public:
    AccessibleNames() = default;
    ~AccessibleNames();
    AccessibleNames(const AccessibleNames&) = delete;
    AccessibleNames& operator=(const AccessibleNames&) = delete;

    void Set(HWND control, std::string_view name);
    // Drops the names given to `control`; called before it is destroyed.
    void Clear(HWND control);

  private:
    IAccPropServices* Services();

    IAccPropServices* services_ = nullptr;
    bool tried_ = false;
};

}  // namespace win32
