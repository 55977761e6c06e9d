// What the program does before it builds its first window.
#pragma once

#include <vector>

#include "ui/layout.h"

namespace ui {

// The texts both windows show in boxes of fixed size: the main window's, then the About window's.
std::vector<FixedText> BothWindowsTexts();

// Makes the application's font one in which both windows' texts fit (see layout_font.h); call it
// once the application exists and before either window is built.
void FitFontToBothWindows();

}  // namespace ui
