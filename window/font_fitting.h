// How the interface font is fitted to the windows' fixed texts, whatever toolkit measures them.
//
// Both windows place their controls at fixed twip positions, drawn for a small 8-point interface
// font. A desktop whose default font is larger would cut texts off at the edges of their boxes, so
// a front end keeps the desktop's font family and, only when some text would not fit, lowers the
// size in half-point steps until every fixed text fits its box. Whether a text fits at a size is
// the front end's to measure: it knows where its controls draw their texts.
#pragma once

namespace window {

inline constexpr double kSmallestPointSize = 6.0;
inline constexpr double kPointSizeStep = 0.5;

// `start` when `fits(start)`; otherwise the largest size below it, in steps of kPointSizeStep, at
// which `fits` holds, and never below kSmallestPointSize (the smallest size reached when nothing
// fits). `fits` is called with each size tried, from `start` down.
template <typename Fits>
double FittingPointSize(double start, Fits&& fits) {
    double size = start;
    while (!fits(size) && size - kPointSizeStep >= kSmallestPointSize) {
        size -= kPointSizeStep;
    }
    return size;
}

}  // namespace window
