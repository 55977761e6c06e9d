// One option of the main window's "PLC type" group.
#pragma once

#include <QRadioButton>

namespace ui {

// The options of a QButtonGroup form one tab stop, which sits at the option that is on, and the
// arrow keys step through the group in the order the options were added, wrapping round at either
// end and turning on the option they reach.
class SeriesOption : public QRadioButton {
  public:
    SeriesOption(const QString& text, QWidget* parent);

  protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void PlaceGroupTabStop();
};

}  // namespace ui
