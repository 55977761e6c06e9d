#include "ui/layout_font.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>

#include "ui/layout.h"

namespace ui {

namespace {

constexpr qreal kSmallestPointSize = 6.0;
constexpr qreal kStep = 0.5;

// The text as drawn: an access-key marker ("&P") is not shown, a doubled one ("&&") shows once.
QString ShownText(std::string_view text) {
    QString shown = ToQString(text);
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (shown[i] == QLatin1Char('&')) {
            shown.remove(i, 1);
        }
    }
    return shown;
}

// Where a control draws its text, in its own pixels, and how it places the text there: a label
// from its top-left corner, an option beside its indicator, a button centred inside its bevel.
struct TextRoom {
    QRectF rect;
    Qt::Alignment alignment;
};

TextRoom RoomFor(const FixedText& fixed, const QFontMetrics& metrics, const QStyle& style) {
    const QRect box(0, 0, fixed.width, fixed.height);
    if (fixed.kind == FixedText::Kind::Label) {
        return {box, Qt::AlignLeft | Qt::AlignTop};
    }
    QStyleOptionButton option;
    option.rect = box;
    option.fontMetrics = metrics;
    option.text = ToQString(fixed.text);
    if (fixed.kind == FixedText::Kind::Option) {
        return {style.subElementRect(QStyle::SE_RadioButtonContents, &option, nullptr),
                Qt::AlignLeft | Qt::AlignVCenter};
    }
    return {style.subElementRect(QStyle::SE_PushButtonContents, &option, nullptr), Qt::AlignCenter};
}

// Judged by the ink, not by the advance: a text whose advance runs a fraction of a pixel past its
// box but whose last glyph stops short of the edge is drawn in full.
bool InkFits(const FixedText& fixed, const QFont& font, const QStyle& style) {
    const QString shown = ShownText(fixed.text);
    if (shown.isEmpty()) {
        return true;
    }
    const QFontMetricsF metrics(font);
    const TextRoom room = RoomFor(fixed, QFontMetrics(font), style);
    const qreal left = room.alignment & Qt::AlignHCenter
                           ? (room.rect.width() - metrics.horizontalAdvance(shown)) / 2
                           : 0.0;
    const qreal top =
        room.alignment & Qt::AlignVCenter ? (room.rect.height() - metrics.height()) / 2 : 0.0;
    QRectF ink = metrics.tightBoundingRect(shown).translated(
        room.rect.left() + left, room.rect.top() + top + metrics.ascent());
    if (room.alignment & Qt::AlignLeft) {
        // A glyph that leans a fraction of a pixel left of where its text starts ("T") does so at
        // every size; the size only decides where the text ends.
        ink.setLeft(std::max(ink.left(), room.rect.left()));
    }
    return room.rect.contains(ink);
}

}  // namespace

bool TextsFit(std::span<const FixedText> texts, const QFont& font, const QStyle& style) {
    return std::all_of(texts.begin(), texts.end(),
                       [&](const FixedText& fixed) { return InkFits(fixed, font, style); });
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

void FitApplicationFont(std::span<const FixedText> texts) {
    const QFont desktop = QApplication::font();
    const QFont fitting = FontThatFits(texts, desktop, *QApplication::style());
    if (fitting != desktop) {
        QApplication::setFont(fitting);
    }
}

}  // namespace ui
