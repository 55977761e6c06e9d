#include "ui/form11.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <limits>
#include <string>
#include <string_view>

#include "conversion/octal_digits.h"
#include "ui/access_key_label.h"
#include "ui/artwork.h"
#include "ui/captioned_frame.h"
#include "ui/frm_about.h"
#include "ui/layout.h"
#include "ui/series_option.h"
#include "ui/undo_maximize.h"

namespace ui {

namespace {

using window::form11_layout::ControlSpec;
using window::form11_layout::Kind;
using window::form11_layout::kInTabOrder;
using window::form11_layout::kLayout;

constexpr Qt::WindowFlags kWindowFlags =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;  // no maximize button

constexpr bool HasAccessKey(std::string_view text) {
    return window::AccessKeyOf(text) != 0;
}

std::string_view Utf8View(const QByteArray& utf8) {
    return {utf8.constData(), static_cast<std::size_t>(utf8.size())};
}

// Hands a field's text to the conversion library, which reads UTF-8, and its text result back.
template <typename Convert>
std::optional<QString> ConvertText(const QString& text, Convert convert) {
    const std::optional<std::string> result = convert(Utf8View(text.toUtf8()));
    if (!result) {
        return std::nullopt;
    }
    return QString::fromStdString(*result);
}

QWidget* Make(const ControlSpec& control, QWidget* window) {
    const QString text = ToQString(control.text);
    switch (control.kind) {
        case Kind::Frame:
            return new CaptionedFrame(text, window);
        case Kind::Option:
            return new SeriesOption(text, window);
        case Kind::Label: {
            QLabel* label = HasAccessKey(control.text) ? new AccessKeyLabel(text, window)
                                                       : new QLabel(text, window);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return label;
        }
        case Kind::Field: {
            auto* field = new QLineEdit(window);
            field->setMaxLength(std::numeric_limits<int>::max());
            return field;
        }
        case Kind::Button:
            return new QPushButton(text, window);
    }
    return nullptr;
}

// Creates the controls in tab order, so that Qt's focus chain follows it and a control created
// later is drawn above an earlier one it overlaps (the options above their frame).
std::array<QWidget*, Form11::kControlCount> BuildControls(QWidget* window) {
    std::array<QWidget*, Form11::kControlCount> controls{};
    for (const std::size_t index : kInTabOrder) {
        const ControlSpec& control = kLayout[index];
        QWidget* widget = Make(control, window);
        widget->setObjectName(ToQString(control.name));
        widget->setAccessibleName(
            QString::fromStdString(window::form11_layout::AccessibleName(control)));
        widget->setGeometry(ToPixels(control.place));
        controls[index] = widget;
    }
    for (std::size_t i = 0; i < kLayout.size(); ++i) {
        const std::size_t target = window::form11_layout::AccessKeyTarget(i);
        if (kLayout[i].kind == Kind::Label && HasAccessKey(kLayout[i].text) &&
            target < controls.size()) {
            static_cast<QLabel*>(controls[i])->setBuddy(controls[target]);
        }
    }
    return controls;
}

}  // namespace

Form11::Form11(QWidget* parent)
    : QWidget(parent, kWindowFlags),
      controls_(BuildControls(this)),
      seriesGroup_(new QButtonGroup(this)),
      model_(*this) {
    setWindowTitle(ToQString(window::form11_layout::kTitle));
    setWindowIcon(AppIcon());
    setGeometry(ToPixels(window::form11_layout::kClientArea));
    // The window has no maximize button, but some window managers maximize it anyway (a title-bar
    // double-click, or a button drawn whatever the window asks for).
    new UndoMaximize(*this);

    // The group in the order of the options, which the arrow keys step through.
    for (const window::form11_layout::OptionSpec& option : window::form11_layout::kOptions) {
        const std::size_t index = option.option.index();
        auto* button = Control<QRadioButton, kLayout>(controls_, option.option);
        seriesGroup_->addButton(button);
        connect(button, &QAbstractButton::toggled, this, [this, index](bool on) {
            if (on) {
                model_.Clicked(index);
            }
        });
    }
    for (std::size_t i = 0; i < kLayout.size(); ++i) {
        if (kLayout[i].kind == Kind::Field) {
            connect(
                static_cast<QLineEdit*>(controls_[i]), &QLineEdit::textChanged, this,
                [this, i](const QString& text) { model_.TextChanged(i, Utf8View(text.toUtf8())); });
        } else if (kLayout[i].kind == Kind::Button) {
            connect(static_cast<QPushButton*>(controls_[i]), &QPushButton::clicked, this,
                    [this, i] { model_.Clicked(i); });
        }
    }

    model_.Load();
}

Form11::~Form11() = default;

std::optional<QString> Form11::ConvertOctalToDecimal(const QString& BinVal) {
    return ConvertText(BinVal, conversion::ConvertOctalToDecimal);
}

void Form11::SetText(std::size_t control, std::string_view text) {
    if (auto* field =
            control < kControlCount ? qobject_cast<QLineEdit*>(controls_[control]) : nullptr) {
        field->setText(ToQString(text));
    }
}

void Form11::SetChecked(std::size_t control, bool on) {
    if (auto* option = control < kControlCount ? qobject_cast<QAbstractButton*>(controls_[control])
                                               : nullptr) {
        option->setChecked(on);
    }
}

void Form11::CreateAbout() {
    about_ = new frmAbout();
    connect(about_, &QObject::destroyed, this, [this] {
        about_ = nullptr;
        model_.AboutClosed();
    });
}

// The program ends at once, without close events; the About window has no owner, so it is
// destroyed here rather than left behind.
void Form11::EndProgram() {
    delete about_.data();
    QCoreApplication::exit(0);
}

// Brings the About window back normal and active whatever the window manager did with it. It has
// no taskbar entry, so once minimized this is the only way back to it; show() and activateWindow()
// alone leave a minimized window minimized.
void Form11::ShowAbout() {
    if (about_.isNull()) {
        return;
    }
    about_->setWindowState((about_->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    about_->show();
    about_->raise();
    about_->activateWindow();
}

void Form11::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    model_.MainWindowClosed();
}

}  // namespace ui
