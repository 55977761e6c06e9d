// The size of the user-interface font the windows are drawn in.
//
// Both windows place their controls at fixed twip positions, drawn for a small 8-point interface
// font. A desktop whose default font is larger (9 to 11 points is common) would cut texts off at
// the edges of their boxes. So the program keeps the desktop's font family and, only when some
// text would not fit, lowers the size in half-point steps until every fixed text fits its box.
// A text fits when its ink, placed where its control draws it, lies inside the room the control
// gives it (a label its whole box, an option the part beside its indicator, a button the inside of
// its bevel): what counts is what is seen, not the advance rounded up to whole pixels.
#pragma once

#include <QFont>
#include <span>

#include "ui/layout.h"

class QStyle;

namespace ui {

// True when every text is drawn in full in `font` by `style`.
bool TextsFit(std::span<const FixedText> texts, const QFont& font, const QStyle& style);

// `font` itself when every text fits in it; otherwise the same family at the largest size, in
// half-point steps, at which they all do (never below 6 points).
QFont FontThatFits(std::span<const FixedText> texts, QFont font, const QStyle& style);

// Makes the application's font one in which every one of `texts` fits; call before building the
// windows that show them.
void FitApplicationFont(std::span<const FixedText> texts);

}  // namespace ui
