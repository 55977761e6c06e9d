// Form11, the main converter window: seven conversion rows (S, X, Y, T, M, C, D), the "PLC type"
// series options and the Reset, Exit and Help buttons.
//
// How data flows: what the window does lives in window::ConverterModel (window/converter.h), which
// the Win32 window shares. This class only forwards the controls' events to it (every change of a
// field's text, an option turned on, a button clicked, the window closed, the About window
// destroyed) and carries out what it asks: a field's text, an option on or off, the About window
// created or shown, the program ended. Shown here, the About window is brought back normal and
// active from wherever the window manager left it; it has no owner and destroys itself on closing.
// A maximize by the window manager, in both directions or in one, is undone at once: the window
// keeps its size.
//
// The controls are built from the toolkit-free layout table in twips (window/form11_layout.h), in
// the order of its tab-order table, so that Qt's focus chain is that order. Nothing is placed by a
// layout manager: resizing the window moves nothing. The same table gives the texts the font is
// fitted to (start_up.h); the window knows nothing of the fitting itself.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "window/converter.h"
#include "window/form11_layout.h"

class QButtonGroup;

namespace ui {

class frmAbout;

class Form11 : public QWidget, private window::ConverterView {
    Q_OBJECT

  public:
    explicit Form11(QWidget* parent = nullptr);
    ~Form11() override;

    // Reads the digits of `BinVal` in base eight and gives the value as decimal digits; nothing for
    // a text with other characters. The same reading the X and Y rows use.
    static std::optional<QString> ConvertOctalToDecimal(const QString& BinVal);

    static constexpr std::size_t kControlCount = window::form11_layout::kControlCount;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void SetText(std::size_t control, std::string_view text) override;
    void SetChecked(std::size_t control, bool on) override;
    void CreateAbout() override;
    void ShowAbout() override;
    void EndProgram() override;

    const std::array<QWidget*, kControlCount> controls_;
    QButtonGroup* const seriesGroup_;
    window::ConverterModel model_;
    QPointer<frmAbout> about_;
};

}  // namespace ui
