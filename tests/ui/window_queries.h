// What the window tests ask of the running application: a window's control by its name, which
// About windows exist, and which control has the keyboard focus.
#pragma once

#include <QApplication>
#include <QList>
#include <QString>
#include <QWidget>

#include "ui/frm_about.h"

// The control called `name` in `window`; ends the test program when there is none, since every
// later step would only fail less clearly.
template <typename T = QWidget>
T* Get(const QWidget* window, const QString& name) {
    T* widget = window->findChild<T*>(name);
    if (widget == nullptr) {
        qFatal("no control %s", qPrintable(name));
    }
    return widget;
}

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
