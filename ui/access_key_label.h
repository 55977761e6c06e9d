// A label with an access key ("&PLC address") that only moves the focus to its buddy.
#pragma once

#include <QLabel>

namespace ui {

// QLabel's access key also clicks a buddy that is a button; these headings must move the focus to
// the button without pressing it, so the shortcut is handled here.
class AccessKeyLabel : public QLabel {
  public:
    using QLabel::QLabel;

  protected:
    bool event(QEvent* event) override;
};

}  // namespace ui
