// What the window tests ask of the running application: which About windows exist, and which
// control has the keyboard focus.
#pragma once

#include <QApplication>
#include <QList>
#include <QString>
#include <QWidget>

#include "ui/frm_about.h"

inline QList<ui::frmAbout*> AboutWindows() {
    QList<ui::frmAbout*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* about = qobject_cast<ui::frmAbout*>(widget)) {
            windows.append(about);
        }
    }
    return windows;
}

inline QString FocusName() {
    QWidget* focus = QApplication::focusWidget();
    return focus != nullptr ? focus->objectName() : QString();
}
