// Undoing a window manager's maximize in one direction, which Qt does not report.
#pragma once

class QByteArray;
class QWidget;

namespace ui {

// Call from `window`'s nativeEvent. On X11, when the window manager has maximized the window in one
// direction only (Openbox does so on a middle or right click on its maximize button), asks it to
// take that back; Qt reports only a maximize in both directions, as a change of window state. Does
// nothing on other platforms.
void UndoOneWayMaximize(const QWidget& window, const QByteArray& eventType, const void* message);

}  // namespace ui
