// The font every control of both windows is drawn in: the system's own interface font (the message
// font of its non-client metrics: Segoe UI on current Windows, Tahoma under Wine) at a monitor's
// DPI, made smaller in half-point steps (window/font_fitting.h) only when some fixed text of either
// window would not be drawn in full in its control.
#pragma once

#include <windows.h>

#include <map>
#include <span>

#include "window/layout.h"

namespace win32 {

// True when `text` is drawn in full, in the font selected into `dc`, by the standard control of its
// kind with the text's box (in pixels at 96 DPI) scaled to `dpi`: judged by the ink of the glyphs,
// placed where the control draws them, not by the advance.
bool TextFits(HDC dc, const window::FixedText& text, int dpi);

// The fitted fonts, one per DPI the windows have been shown at, kept until the program ends.
class InterfaceFonts {
  public:
    // `texts`: every fixed text of both windows.
    explicit InterfaceFonts(std::span<const window::FixedText> texts) : texts_(texts) {}
    ~InterfaceFonts();
    InterfaceFonts(const InterfaceFonts&) = delete;
    InterfaceFonts& operator=(const InterfaceFonts&) = delete;

    HFONT For(int dpi);

  private:
    std::span<const window::FixedText> texts_;
    std::map<int, HFONT> fonts_;
};

}  // namespace win32
