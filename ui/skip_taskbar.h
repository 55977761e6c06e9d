// Keeps a top-level window out of the desktop's taskbar.
#pragma once

class QWidget;

namespace ui {

// On X11 asks the window manager to leave `window` out of the taskbar (_NET_WM_STATE_SKIP_TASKBAR),
// which Qt offers no flag for short of making the window a tool window with an owner. Does nothing
// on other platforms. Call it before the window is first shown.
void SkipTaskbar(QWidget& window);

}  // namespace ui
