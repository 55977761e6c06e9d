// The content floor for the start-up benchmark: a plain window with the converter's content and
// nothing more. The same 37 controls (same kinds, texts, places and creation order, taken from the
// converter's layout table) with the same field texts, made from Qt's own widget classes; no icon,
// no font fitting, no accessible names, buddies, handlers or custom painting. What the converter
// costs beyond this window is its own work before its first frame.

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>
#include <optional>
#include <string>

#include "conversion/address_map.h"
#include "ui/layout.h"
#include "window/form11_layout.h"

namespace {

namespace layout = window::form11_layout;
using layout::ControlSpec;
using layout::Kind;

QWidget* Make(const ControlSpec& control, QWidget* window) {
    const QString text = ui::ToQString(control.text);
    switch (control.kind) {
        case Kind::Frame:
            return new QGroupBox(text, window);
        case Kind::Option: {
            auto* option = new QRadioButton(text, window);
            option->setChecked(control.name == "Option1");  // the series the converter opens with
            return option;
        }
        case Kind::Label:
            return new QLabel(text, window);
        case Kind::Field: {
            // The texts the converter opens with: "0" in every PLC field, device 0's address in
            // every Modbus field.
            const auto kind = conversion::DeviceKindOf(control.name.front());
            const std::optional<std::string> address = conversion::ModbusAddressFor(
                kind.value_or(conversion::DeviceKind::D), "0", conversion::PlcSeries::SS);
            const bool plc = control.name.ends_with("_delta");
            return new QLineEdit(
                plc ? QStringLiteral("0") : QString::fromStdString(address.value_or("")), window);
        }
        case Kind::Button:
            return new QPushButton(text, window);
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("ZENTRIQ V1.00"));
    window.setGeometry(ui::ToPixels(layout::kClientArea));
    using layout::kLayout;
    for (const std::size_t index : layout::kInTabOrder) {
        Make(kLayout[index], &window)->setGeometry(ui::ToPixels(kLayout[index].place));
    }
    window.show();
    return QApplication::exec();
}
