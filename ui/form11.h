// Form11, the main converter window: seven conversion rows (S, X, Y, T, M, C, D), the "PLC type"
// series options and the Reset, Exit and Help buttons.
//
// How data flows: every change of a PLC-address field's text, typed by the user or set by the
// program, runs that row's Delta_Change handler, which passes the field's text and the selected
// series PLC to conversion::ModbusAddressFor and writes a text result into the row's Modbus field
// (an empty text clears it; no result leaves the field as it is). The series options only set PLC;
// no row is recomputed when the series changes. Form_Load and Reset set the PLC fields to "0" and
// so fill every Modbus field. The Modbus fields are ordinary editable fields that nothing listens
// to. Help creates the one About window on demand, or brings it back normal and active from
// wherever the window manager left it; it has no owner and destroys itself on closing. A maximize
// by the window manager, in both directions or in one, is undone at once: the window keeps its
// size.
//
// The controls are built from one layout table in twips, in the order of the window's tab-order
// table, so that Qt's focus chain is that order. Nothing is placed by a layout manager: resizing
// the window moves nothing. The table's vocabulary and the lookup of a control by its name come
// from layout.h; the window hands its fixed texts to whoever fits the font (start_up.h) and knows
// nothing of the fitting itself.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <cstddef>
#include <optional>
#include <vector>

#include "conversion/address_map.h"
#include "ui/form11_layout.h"
#include "ui/layout.h"

class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ui {

class SeriesOption;
class frmAbout;

class Form11 : public QWidget {
    Q_OBJECT

  public:
    explicit Form11(QWidget* parent = nullptr);
    ~Form11() override;

    // Reads the digits of `BinVal` in base eight and gives the value as decimal digits; nothing for
    // a text with other characters. The same reading the X and Y rows use.
    static std::optional<QString> ConvertOctalToDecimal(const QString& BinVal);

    static constexpr std::size_t kControlCount = form11_layout::kControlCount;

    // The texts of the window's labels, options and buttons with the sizes of their boxes.
    static std::vector<FixedText> FixedTexts();

  protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

  private:
    // A conversion row: its device kind, PLC-address field and Modbus-address field.
    struct Row {
        conversion::DeviceKind kind;
        QLineEdit* delta;
        QLineEdit* modbus;
    };

    void Form_Load();
    void Delta_Change(const Row& row);
    void Option_Click(conversion::PlcSeries series);
    void Command6_Click();  // Reset
    void Command1_Click();  // Exit
    void Command2_Click();  // Help
    void ShowAbout();

    const std::array<QWidget*, kControlCount> controls_;

    // NOLINTBEGIN(readability-identifier-naming): controls keep the window's control names.
    QGroupBox* const Frame1;
    SeriesOption* const Option1;
    SeriesOption* const Option2;
    SeriesOption* const Option3;
    QLabel* const Label2;
    QLabel* const Label1;
    QPushButton* const Command6;
    QPushButton* const Command2;
    QPushButton* const Command1;
    QLabel* const Label9;
    QLineEdit* const d_delta;
    QLabel* const Label3;
    QLineEdit* const d_modbus;
    QLabel* const Label10;
    QLineEdit* const m_delta;
    QLabel* const Label4;
    QLineEdit* const m_modbus;
    QLabel* const Label11;
    QLineEdit* const c_delta;
    QLabel* const Label5;
    QLineEdit* const c_modbus;
    QLabel* const Label12;
    QLineEdit* const t_delta;
    QLabel* const Label6;
    QLineEdit* const t_modbus;
    QLabel* const Label13;
    QLineEdit* const x_delta;
    QLabel* const Label7;
    QLineEdit* const x_modbus;
    QLabel* const Label14;
    QLineEdit* const y_delta;
    QLabel* const Label8;
    QLineEdit* const y_modbus;
    QLabel* const Label16;
    QLineEdit* const s_delta;
    QLabel* const Label15;
    QLineEdit* const s_modbus;

    QButtonGroup* const seriesGroup_;
    // The rows in the order Form_Load and Reset fill them: D, M, C, T, X, Y, S.
    const std::array<Row, 7> rows_;

    conversion::PlcSeries PLC = conversion::PlcSeries::SS;
    // NOLINTEND(readability-identifier-naming)

    QPointer<frmAbout> about_;
};

}  // namespace ui
