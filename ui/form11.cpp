#include "ui/form11.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <limits>
#include <string>
#include <string_view>

#include "conversion/octal_digits.h"
#include "ui/access_key_label.h"
#include "ui/artwork.h"
#include "ui/captioned_frame.h"
#include "ui/form11_layout.h"
#include "ui/frm_about.h"
#include "ui/keep_unmaximized.h"
#include "ui/layout.h"
#include "ui/series_option.h"

namespace ui {

namespace {

using conversion::DeviceKind;
using conversion::PlcSeries;
using form11_layout::ControlSpec;
using form11_layout::Kind;
using form11_layout::kLayout;
using form11_layout::kTabOrder;

constexpr Qt::WindowFlags kWindowFlags =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;  // no maximize button

// The controls in tab order, as their places in the layout table.
constexpr std::array<std::size_t, Form11::kControlCount> kInTabOrder = OrderOf<kLayout>(kTabOrder);

constexpr bool TakesFocus(Kind kind) {
    return kind == Kind::Field || kind == Kind::Button || kind == Kind::Option;
}

constexpr bool HasAccessKey(std::string_view text) {
    return text.find('&') != std::string_view::npos;
}

// A label's access key sends the focus to the first control after it in the tab order that can
// take it.
constexpr std::size_t FirstStopAfter(std::size_t tabPosition) {
    for (std::size_t p = tabPosition + 1; p < kInTabOrder.size(); ++p) {
        const std::size_t index = kInTabOrder[p];
        if (TakesFocus(kLayout[index].kind)) {
            return index;
        }
    }
    return kLayout.size();
}

// The device kind of a conversion row: the letter its fields are named by ("d_delta" is D).
consteval DeviceKind RowKind(ControlName<kLayout> field) {
    return conversion::DeviceKindOf(kLayout[field.index()].name.front()).value();
}

// Hands a field's text to the conversion library, which reads UTF-8, and its text result back.
template <typename Convert>
std::optional<QString> ConvertText(const QString& text, Convert convert) {
    const QByteArray utf8 = text.toUtf8();
    const std::optional<std::string> result =
        convert(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    if (!result) {
        return std::nullopt;
    }
    return QString::fromStdString(*result);
}

// Fields are named for their row and side ("D PLC address"); everything else by its text.
QString AccessibleName(const ControlSpec& control) {
    if (control.kind == Kind::Field) {
        const QString row = ToQString(control.name.substr(0, 1)).toUpper();
        return row + (control.name.ends_with("_delta") ? QStringLiteral(" PLC address")
                                                       : QStringLiteral(" Modbus address"));
    }
    return ToQString(control.text).remove(QLatin1Char('&'));
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
        widget->setAccessibleName(AccessibleName(control));
        widget->setGeometry(ToPixels(control.place));
        controls[index] = widget;
    }
    for (std::size_t p = 0; p < kInTabOrder.size(); ++p) {
        const ControlSpec& control = kLayout[kInTabOrder[p]];
        if (control.kind == Kind::Label && HasAccessKey(control.text)) {
            static_cast<QLabel*>(controls[kInTabOrder[p]])->setBuddy(controls[FirstStopAfter(p)]);
        }
    }
    return controls;
}

}  // namespace

Form11::Form11(QWidget* parent)
    : QWidget(parent, kWindowFlags),
      controls_(BuildControls(this)),
      Frame1(Control<QGroupBox, kLayout>(controls_, "Frame1")),
      Option1(Control<SeriesOption, kLayout>(controls_, "Option1")),
      Option2(Control<SeriesOption, kLayout>(controls_, "Option2")),
      Option3(Control<SeriesOption, kLayout>(controls_, "Option3")),
      Label2(Control<QLabel, kLayout>(controls_, "Label2")),
      Label1(Control<QLabel, kLayout>(controls_, "Label1")),
      Command6(Control<QPushButton, kLayout>(controls_, "Command6")),
      Command2(Control<QPushButton, kLayout>(controls_, "Command2")),
      Command1(Control<QPushButton, kLayout>(controls_, "Command1")),
      Label9(Control<QLabel, kLayout>(controls_, "Label9")),
      d_delta(Control<QLineEdit, kLayout>(controls_, "d_delta")),
      Label3(Control<QLabel, kLayout>(controls_, "Label3")),
      d_modbus(Control<QLineEdit, kLayout>(controls_, "d_modbus")),
      Label10(Control<QLabel, kLayout>(controls_, "Label10")),
      m_delta(Control<QLineEdit, kLayout>(controls_, "m_delta")),
      Label4(Control<QLabel, kLayout>(controls_, "Label4")),
      m_modbus(Control<QLineEdit, kLayout>(controls_, "m_modbus")),
      Label11(Control<QLabel, kLayout>(controls_, "Label11")),
      c_delta(Control<QLineEdit, kLayout>(controls_, "c_delta")),
      Label5(Control<QLabel, kLayout>(controls_, "Label5")),
      c_modbus(Control<QLineEdit, kLayout>(controls_, "c_modbus")),
      Label12(Control<QLabel, kLayout>(controls_, "Label12")),
      t_delta(Control<QLineEdit, kLayout>(controls_, "t_delta")),
      Label6(Control<QLabel, kLayout>(controls_, "Label6")),
      t_modbus(Control<QLineEdit, kLayout>(controls_, "t_modbus")),
      Label13(Control<QLabel, kLayout>(controls_, "Label13")),
      x_delta(Control<QLineEdit, kLayout>(controls_, "x_delta")),
      Label7(Control<QLabel, kLayout>(controls_, "Label7")),
      x_modbus(Control<QLineEdit, kLayout>(controls_, "x_modbus")),
      Label14(Control<QLabel, kLayout>(controls_, "Label14")),
      y_delta(Control<QLineEdit, kLayout>(controls_, "y_delta")),
      Label8(Control<QLabel, kLayout>(controls_, "Label8")),
      y_modbus(Control<QLineEdit, kLayout>(controls_, "y_modbus")),
      Label16(Control<QLabel, kLayout>(controls_, "Label16")),
      s_delta(Control<QLineEdit, kLayout>(controls_, "s_delta")),
      Label15(Control<QLabel, kLayout>(controls_, "Label15")),
      s_modbus(Control<QLineEdit, kLayout>(controls_, "s_modbus")),
      seriesGroup_(new QButtonGroup(this)),
      rows_{{{RowKind("d_delta"), d_delta, d_modbus},
             {RowKind("m_delta"), m_delta, m_modbus},
             {RowKind("c_delta"), c_delta, c_modbus},
             {RowKind("t_delta"), t_delta, t_modbus},
             {RowKind("x_delta"), x_delta, x_modbus},
             {RowKind("y_delta"), y_delta, y_modbus},
             {RowKind("s_delta"), s_delta, s_modbus}}} {
    setWindowTitle(QStringLiteral("ZENTRIQ V1.00"));
    setWindowIcon(AppIcon());
    setGeometry(ToPixels(form11_layout::kClientArea));

    const std::array<std::pair<SeriesOption*, PlcSeries>, 3> options{
        {{Option1, PlcSeries::SS}, {Option2, PlcSeries::SC}, {Option3, PlcSeries::SV}}};
    for (const auto& [option, series] : options) {
        seriesGroup_->addButton(option);
        connect(option, &QAbstractButton::toggled, this, [this, s = series](bool on) {
            if (on) {
                Option_Click(s);
            }
        });
    }
    for (const Row& row : rows_) {
        connect(row.delta, &QLineEdit::textChanged, this, [this, &row] { Delta_Change(row); });
    }
    connect(Command6, &QPushButton::clicked, this, &Form11::Command6_Click);
    connect(Command1, &QPushButton::clicked, this, &Form11::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form11::Command2_Click);

    Form_Load();
}

Form11::~Form11() = default;

std::vector<FixedText> Form11::FixedTexts() {
    std::vector<FixedText> texts;
    for (const ControlSpec& control : kLayout) {
        const QRect box = ToPixels(control.place);
        const auto add = [&](FixedText::Kind kind) {
            texts.push_back({control.text, kind, box.width(), box.height()});
        };
        switch (control.kind) {
            case Kind::Frame:  // its caption sits on its top edge like a label
                texts.push_back({control.text, FixedText::Kind::Label,
                                 box.width() - 2 * CaptionedFrame::kCaptionInset, box.height()});
                break;
            case Kind::Label:
                add(FixedText::Kind::Label);
                break;
            case Kind::Option:
                add(FixedText::Kind::Option);
                break;
            case Kind::Button:
                add(FixedText::Kind::Button);
                break;
            case Kind::Field:
                break;
        }
    }
    return texts;
}

std::optional<QString> Form11::ConvertOctalToDecimal(const QString& BinVal) {
    return ConvertText(BinVal, conversion::ConvertOctalToDecimal);
}

void Form11::Form_Load() {
    PLC = PlcSeries::SS;
    Option1->setChecked(true);  // runs Option_Click, and the group turns the other options off
    Option2->setChecked(false);
    Option3->setChecked(false);
    for (const Row& row : rows_) {
        row.delta->setText(QStringLiteral("0"));  // runs the row's Delta_Change
    }
}

void Form11::Delta_Change(const Row& row) {
    const std::optional<QString> address = ConvertText(
        row.delta->text(),
        [&](std::string_view text) { return conversion::ModbusAddressFor(row.kind, text, PLC); });
    if (address) {
        row.modbus->setText(*address);
    }
}

void Form11::Option_Click(PlcSeries series) {
    PLC = series;
}

void Form11::Command6_Click() {
    // Every row is converted again even when its field already reads "0" (setText then reports no
    // change), so that a Modbus field the user typed into gets its address back. The D row under
    // "SA/SX/SC" or "EH/EH2/SV" still keeps its text, since its rule gives no result there.
    for (const Row& row : rows_) {
        if (row.delta->text() == QLatin1String("0")) {
            Delta_Change(row);
        } else {
            row.delta->setText(QStringLiteral("0"));
        }
    }
}

void Form11::Command1_Click() {
    // The program ends at once, without close events; the About window has no owner, so it is
    // destroyed here rather than left behind.
    delete about_.data();
    QCoreApplication::exit(0);
}

void Form11::Command2_Click() {
    if (about_.isNull()) {
        about_ = new frmAbout();
    }
    ShowAbout();
}

// Brings the About window back normal and active whatever the window manager did with it. It has
// no taskbar entry, so once minimized this is the only way back to it; show() and activateWindow()
// alone leave a minimized window minimized.
void Form11::ShowAbout() {
    about_->setWindowState((about_->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    about_->show();
    about_->raise();
    about_->activateWindow();
}

// The window has no maximize button, but some window managers maximize it anyway (a title-bar
// double-click, or a button drawn whatever the window asks for): undo it at once, back to the
// geometry the window had.
void Form11::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMaximized)) {
        const QRect normal = normalGeometry();
        setWindowState(windowState() & ~Qt::WindowMaximized);
        if (normal.isValid()) {
            setGeometry(normal);  // for window managers that do not restore it themselves
        }
    }
}

bool Form11::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    UndoOneWayMaximize(*this, eventType, message);
    return QWidget::nativeEvent(eventType, message, result);
}

// The program runs on while the About window is open, so that window is brought to the front: a
// minimized one has no taskbar entry, and without this window's Help nothing would show it again.
void Form11::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (!about_.isNull()) {
        ShowAbout();
    }
}

}  // namespace ui
