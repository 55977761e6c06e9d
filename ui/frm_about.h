// frmAbout, the About window: the program's name and version, the controller series it serves, the
// maker's name, a date, a rights notice, web and e-mail addresses and a product photograph.
//
// How data flows: none does. All content is fixed when the window is built from its layout table;
// it reads nothing of the main window and calls nothing in it. Its one action is cmdOK_Click, which
// closes it; OK is also the default (Enter) and cancel (Esc) button, and the title bar's close box
// closes it the same way. Closing destroys the window (WA_DeleteOnClose), so the main window's next
// Help click builds it afresh. It is a top-level window without an owner, kept out of the taskbar.
//
// The controls are built from the toolkit-free layout table in twips (window/frm_about_layout.h)
// and stacked by its second table; the same tables give the texts the font is fitted to.
#pragma once

#include <QDialog>
#include <array>
#include <cstddef>

#include "window/frm_about_layout.h"

class QLabel;
class QPushButton;

namespace ui {

class frmAbout : public QDialog {
    Q_OBJECT

  public:
    static constexpr std::size_t kControlCount = window::frm_about_layout::kControlCount;

    explicit frmAbout(QWidget* parent = nullptr);
    ~frmAbout() override;

  private:
    void cmdOK_Click();

    const std::array<QWidget*, kControlCount> controls_;

    // NOLINTBEGIN(readability-identifier-naming): controls keep the window's control names.
    QLabel* const picIcon;
    QLabel* const lblTitle;
    QLabel* const lblVersion;
    QLabel* const Label4;
    QLabel* const Label5;
    QLabel* const Label6;
    QLabel* const lblDescription;
    QLabel* const Label7;
    QLabel* const Label1;
    QLabel* const lblDisclaimer;
    QLabel* const Label2;
    QPushButton* const cmdOK;
    // Index 0 the white line, index 1 the grey line drawn over it: one etched separator.
    const std::array<QWidget*, 2> Line1;
    // NOLINTEND(readability-identifier-naming)
};

}  // namespace ui
