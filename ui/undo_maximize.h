// Keeping a window at its own size whatever its window manager does to maximize it.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

class QWidget;

namespace ui {

// Undoes every maximize of a window by its window manager, at once, back to the size the window
// had. A maximize in both directions reaches Qt as a change of window state. One in a single
// direction (Openbox makes one on a middle or right click on its maximize button) shows only in
// X11's _NET_WM_STATE, which Qt does not report: the object reads it from the X server's events on
// X11, and watches the window state alone elsewhere.
class UndoMaximize final : public QObject, public QAbstractNativeEventFilter {
  public:
    // Watches `window` from now on. A child of `window`, so it ends with it.
    explicit UndoMaximize(QWidget& window);

    bool eventFilter(QObject* watched, QEvent* event) override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

  private:
    QWidget& window_;
};

}  // namespace ui
