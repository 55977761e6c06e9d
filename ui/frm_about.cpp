#include "ui/frm_about.h"

#include <QLabel>
#include <QPushButton>
#include <string_view>

#include "ui/artwork.h"
#include "ui/layout.h"
#include "ui/skip_taskbar.h"
#include "window/frm_about_layout.h"

namespace ui {

namespace {

using window::frm_about_layout::Colour;
using window::frm_about_layout::ControlSpec;
using window::frm_about_layout::kFromTop;
using window::frm_about_layout::Kind;
using window::frm_about_layout::kLayout;

// A fixed border and a title bar with a close box only. Window type rather than Dialog: a dialog
// without a parent would still be made transient for the application on X11, i.e. given an owner.
constexpr Qt::WindowFlags kWindowFlags =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

QColor ToQColor(Colour colour) {
    const window::frm_about_layout::Rgb rgb = window::frm_about_layout::RgbOf(colour);
    return {rgb.red, rgb.green, rgb.blue};
}

QWidget* Make(const ControlSpec& control, QWidget* window) {
    const QString text = ToQString(control.text);
    switch (control.kind) {
        case Kind::Picture: {
            // Drawn at its natural size from the box's top-left corner and cut off at its edges.
            auto* picture = new QLabel(window);
            picture->setPixmap(ProductPhoto());
            picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            picture->setAccessibleName(ToQString(window::frm_about_layout::kPhotographName));
            return picture;
        }
        case Kind::Label: {
            auto* label = new QLabel(text, window);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setAccessibleName(text);
            label->setAutoFillBackground(true);  // painted on the window's background colour
            if (control.colour != Colour::Default) {
                QPalette palette = label->palette();
                palette.setColor(QPalette::WindowText, ToQColor(control.colour));
                label->setPalette(palette);
            }
            return label;
        }
        case Kind::Button: {
            auto* button = new QPushButton(text, window);
            button->setAccessibleName(text);
            return button;
        }
        case Kind::Line: {
            auto* line = new QWidget(window);
            QPalette palette = line->palette();
            palette.setColor(QPalette::Window, ToQColor(control.colour));
            line->setPalette(palette);
            line->setAutoFillBackground(true);
            return line;
        }
    }
    return nullptr;
}

std::array<QWidget*, frmAbout::kControlCount> BuildControls(QWidget* window) {
    std::array<QWidget*, frmAbout::kControlCount> controls{};
    for (std::size_t i = 0; i < kLayout.size(); ++i) {
        QWidget* widget = Make(kLayout[i], window);
        widget->setObjectName(ToQString(kLayout[i].name));
        widget->setGeometry(ToPixels(kLayout[i].place));
        controls[i] = widget;
    }
    for (auto index = kFromTop.rbegin(); index != kFromTop.rend(); ++index) {
        controls[*index]->raise();
    }
    return controls;
}

}  // namespace

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent, kWindowFlags),
      controls_(BuildControls(this)),
      picIcon(Control<QLabel, kLayout>(controls_, "picIcon")),
      lblTitle(Control<QLabel, kLayout>(controls_, "lblTitle")),
      lblVersion(Control<QLabel, kLayout>(controls_, "lblVersion")),
      Label4(Control<QLabel, kLayout>(controls_, "Label4")),
      Label5(Control<QLabel, kLayout>(controls_, "Label5")),
      Label6(Control<QLabel, kLayout>(controls_, "Label6")),
      lblDescription(Control<QLabel, kLayout>(controls_, "lblDescription")),
      Label7(Control<QLabel, kLayout>(controls_, "Label7")),
      Label1(Control<QLabel, kLayout>(controls_, "Label1")),
      lblDisclaimer(Control<QLabel, kLayout>(controls_, "lblDisclaimer")),
      Label2(Control<QLabel, kLayout>(controls_, "Label2")),
      cmdOK(Control<QPushButton, kLayout>(controls_, "cmdOK")),
      Line1{Control<QWidget, kLayout>(controls_, "Line1_0"),
            Control<QWidget, kLayout>(controls_, "Line1_1")} {
    setWindowTitle(ToQString(window::frm_about_layout::kTitle));
    setWindowIcon(AppIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    setGeometry(ToPixels(window::frm_about_layout::kClientArea));
    setFixedSize(size());

    // The default button takes Enter; QDialog gives Esc to reject(), which closes the window too.
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    SkipTaskbar(*this);
}

frmAbout::~frmAbout() = default;

void frmAbout::cmdOK_Click() {
    close();
}

}  // namespace ui
