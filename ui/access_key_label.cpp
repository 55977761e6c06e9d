#include "ui/access_key_label.h"

#include <QEvent>

namespace ui {

bool AccessKeyLabel::event(QEvent* event) {
    if (event->type() == QEvent::Shortcut && buddy() != nullptr) {
        buddy()->setFocus(Qt::ShortcutFocusReason);
        window()->setAttribute(Qt::WA_KeyboardFocusChange);
        return true;
    }
    return QLabel::event(event);
}

}  // namespace ui
