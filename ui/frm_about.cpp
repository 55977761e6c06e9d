#include "ui/frm_about.h"

#include <QLabel>
#include <QPushButton>
#include <string_view>

#include "ui/artwork.h"
#include "ui/layout.h"
#include "ui/skip_taskbar.h"

namespace ui {

namespace {

// Kinds of control the layout table places. A line's place starts at its first point and runs
// for its length; its height is the width of its pen.
enum class Kind { Picture, Label, Button, Line };
// Text colour of a label, colour of a line. Default leaves the palette as it is.
enum class Colour { Default, Black, Grey, White };

// A fixed border and a title bar with a close box only. Window type rather than Dialog: a dialog
// without a parent would still be made transient for the application on X11, i.e. given an owner.
constexpr Qt::WindowFlags kWindowFlags =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

// Where the client area opens on the screen, and its size.
constexpr TwipRect kClientArea{7200, 2910, 4920, 3210};

struct ControlSpec {
    std::string_view name;
    Kind kind;
    std::string_view text;
    TwipRect place;
    Colour colour;
};

// Every control of the window, in twips from the client area's top-left corner.
constexpr std::array<ControlSpec, frmAbout::kControlCount> kLayout{{
    {"picIcon", Kind::Picture, "", {120, 120, 1200, 1560}, Colour::Default},
    {"lblTitle", Kind::Label, "ZENTRIQ V1.00", {1440, 120, 2565, 240}, Colour::Black},
    {"lblVersion",
     Kind::Label,
     "DESIGN FOR DELTA PLC  DVP Series ",
     {1440, 360, 3045, 225},
     Colour::Default},
    {"Label4", Kind::Label, "SS/ES/EX Series", {1560, 720, 1725, 225}, Colour::Default},
    {"Label5", Kind::Label, "SA/SC/SX Series", {1560, 960, 1725, 225}, Colour::Default},
    {"Label6", Kind::Label, "SV/EH/EH2 Series", {1560, 1200, 1725, 225}, Colour::Default},
    {"lblDescription", Kind::Label, "HOLVENT .Co", {1560, 1680, 2085, 330}, Colour::Black},
    {"Label7", Kind::Label, "November , 13, 2009", {1560, 1920, 1725, 330}, Colour::Black},
    {"Label1", Kind::Label, "© 2009 HOLVENT", {3240, 1920, 1725, 330}, Colour::Black},
    {"lblDisclaimer", Kind::Label, "www.holvent.example", {240, 2400, 2910, 345}, Colour::Black},
    {"Label2", Kind::Label, "support@holvent.example", {240, 2640, 2535, 345}, Colour::Black},
    {"cmdOK", Kind::Button, "OK", {3480, 2400, 1260, 345}, Colour::Default},
    // From (90, 2280) to (4800, 2280), 1 pixel wide, and from (120, 2280) to (4335, 2280), 2 wide.
    {"Line1_1", Kind::Line, "", {90, 2280, 4800 - 90, 1 * kTwipsPerPixel}, Colour::Grey},
    {"Line1_0", Kind::Line, "", {120, 2280, 4335 - 120, 2 * kTwipsPerPixel}, Colour::White},
}};

// Stacking order from the top: the photograph and the button above all labels and lines.
constexpr std::array<std::string_view, frmAbout::kControlCount> kStackingFromTop{{
    "picIcon",
    "cmdOK",
    "Label1",
    "lblTitle",
    "Label7",
    "Label6",
    "Label5",
    "Label4",
    "Label2",
    "Line1_1",
    "lblDescription",
    "Line1_0",
    "lblVersion",
    "lblDisclaimer",
}};

// The controls from the top down, as their places in the layout table.
constexpr std::array<std::size_t, frmAbout::kControlCount> kFromTop =
    OrderOf<kLayout>(kStackingFromTop);

QColor ToQColor(Colour colour) {
    switch (colour) {
        case Colour::Black:
            return {0, 0, 0};
        case Colour::Grey:
            return {128, 128, 128};
        case Colour::White:
            return {255, 255, 255};
        case Colour::Default:
            break;
    }
    return {};
}

QWidget* Make(const ControlSpec& control, QWidget* window) {
    const QString text = ToQString(control.text);
    switch (control.kind) {
        case Kind::Picture: {
            // Drawn at its natural size from the box's top-left corner and cut off at its edges.
            auto* picture = new QLabel(window);
            picture->setPixmap(ProductPhoto());
            picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            picture->setAccessibleName(QStringLiteral("Product photograph"));
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

// Labels paint their background, so a label drawn above another one that starts inside it hides the
// rest of it: the date runs under the rights notice.
int VisibleWidth(const ControlSpec& label) {
    QRect visible = ToPixels(label.place);
    for (const std::size_t index : kFromTop) {
        const ControlSpec& above = kLayout[index];
        if (above.name == label.name) {
            break;
        }
        const QRect cover = ToPixels(above.place);
        if (above.kind == Kind::Label && cover.intersects(visible) &&
            cover.left() > visible.left()) {
            visible.setRight(cover.left() - 1);
        }
    }
    return visible.width();
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
    setWindowTitle(QStringLiteral("ZENTRIQ V1.00  [DELTA DVP Series ..."));
    setWindowIcon(AppIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    setGeometry(ToPixels(kClientArea));
    setFixedSize(size());

    // The default button takes Enter; QDialog gives Esc to reject(), which closes the window too.
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    SkipTaskbar(*this);
}

frmAbout::~frmAbout() = default;

std::vector<FixedText> frmAbout::FixedTexts() {
    std::vector<FixedText> texts;
    for (const ControlSpec& control : kLayout) {
        const QRect box = ToPixels(control.place);
        if (control.kind == Kind::Label) {
            texts.push_back(
                {control.text, FixedText::Kind::Label, VisibleWidth(control), box.height()});
        } else if (control.kind == Kind::Button) {
            texts.push_back({control.text, FixedText::Kind::Button, box.width(), box.height()});
        }
    }
    return texts;
}

void frmAbout::cmdOK_Click() {
    close();
}

}  // namespace ui
