#include "ui/layout_font.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStyle>
#include <QStyleOptionButton>
#include <vector>

#include "ui/form11.h"
#include "ui/frm_about.h"
#include "ui/layout.h"

namespace ui {

namespace {

constexpr qreal kSmallestPointSize = 6.0;
constexpr qreal kStep = 0.5;

// The size a control needs for its text, as the style would draw it.
QSize NeededSize(const FixedText& fixed, const QFontMetrics& metrics, const QStyle& style) {
    const QString text = ToQString(fixed.text);
    const QSize textSize = metrics.size(Qt::TextShowMnemonic, text);  // "&P" takes the width of "P"
    if (fixed.kind == FixedText::Kind::Label) {
        return textSize;
    }
    QStyleOptionButton option;
    option.fontMetrics = metrics;
    option.text = text;
    const auto type =
        fixed.kind == FixedText::Kind::Option ? QStyle::CT_RadioButton : QStyle::CT_PushButton;
    return style.sizeFromContents(type, &option, textSize);
}

}  // namespace

bool TextsFit(std::span<const FixedText> texts, const QFont& font, const QStyle& style) {
    const QFontMetrics metrics(font);
    for (const FixedText& fixed : texts) {
        const QSize needed = NeededSize(fixed, metrics, style);
        // Buttons and options centre their text vertically and draw a frame round it; only the
        // width can cut their text off.
        const bool heightFits =
            fixed.kind != FixedText::Kind::Label || metrics.height() <= fixed.height;
        if (needed.width() > fixed.width || !heightFits) {
            return false;
        }
    }
    return true;
}

QFont FontThatFits(std::span<const FixedText> texts, QFont font, const QStyle& style) {
    if (font.pointSizeF() <= 0) {
        return font;  // sized in pixels by the platform: leave it as the desktop has it
    }
    while (!TextsFit(texts, font, style) && font.pointSizeF() - kStep >= kSmallestPointSize) {
        font.setPointSizeF(font.pointSizeF() - kStep);
    }
    return font;
}

void FitApplicationFont() {
    std::vector<FixedText> texts = Form11::FixedTexts();
    const std::vector<FixedText> about = frmAbout::FixedTexts();
    texts.insert(texts.end(), about.begin(), about.end());
    const QFont desktop = QApplication::font();
    const QFont fitting = FontThatFits(texts, desktop, *QApplication::style());
    if (fitting != desktop) {
        QApplication::setFont(fitting);
    }
}

}  // namespace ui
