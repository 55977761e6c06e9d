#include "ui/series_option.h"

#include <QButtonGroup>
#include <QKeyEvent>

namespace ui {

namespace {

Qt::FocusPolicy PolicyFor(const QAbstractButton& option) {
    // Click focus keeps the mouse working on an option that is off while Tab passes it by.
    return option.isChecked() ? Qt::StrongFocus : Qt::ClickFocus;
}

}  // namespace

SeriesOption::SeriesOption(const QString& text, QWidget* parent) : QRadioButton(text, parent) {
    setFocusPolicy(PolicyFor(*this));
    connect(this, &QAbstractButton::toggled, this, [this] { setFocusPolicy(PolicyFor(*this)); });
}

void SeriesOption::PlaceGroupTabStop() {
    if (group() == nullptr) {
        return;
    }
    for (QAbstractButton* option : group()->buttons()) {
        option->setFocusPolicy(PolicyFor(*option));
    }
}

void SeriesOption::focusInEvent(QFocusEvent* event) {
    QRadioButton::focusInEvent(event);
    // Qt moves the group's tab stop to whichever option got the focus, even one left off by a
    // mouse press released elsewhere; put it back on the option that is on.
    PlaceGroupTabStop();
}

void SeriesOption::keyPressEvent(QKeyEvent* event) {
    int step = 0;
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Up:
            step = -1;
            break;
        case Qt::Key_Right:
        case Qt::Key_Down:
            step = 1;
            break;
        default:
            break;
    }
    if (step == 0 || group() == nullptr ||
        (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QRadioButton::keyPressEvent(event);
        return;
    }
    // Qt searches for the neighbour geometrically: in one row Up and Down find nothing and Left
    // and Right stop at the ends. Here every arrow steps through the group in order, round.
    const QList<QAbstractButton*> options = group()->buttons();
    const qsizetype count = options.size();
    const qsizetype next = (options.indexOf(this) + step + count) % count;
    QAbstractButton* target = options.at(next);
    target->click();
    target->setFocus(step < 0 ? Qt::BacktabFocusReason : Qt::TabFocusReason);
}

}  // namespace ui
