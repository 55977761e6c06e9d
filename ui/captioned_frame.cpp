#include "ui/captioned_frame.h"

#include <qdrawutil.h>

#include <QPainter>
#include <QStyle>

namespace ui {

namespace {

// Blank space kept between the caption and the frame line on either side of it.
constexpr int kCaptionGap = 2;

}  // namespace

QRect CaptionedFrame::CaptionRoom() const {
    return {kCaptionInset, 0, width() - 2 * kCaptionInset, height()};
}

void CaptionedFrame::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QRect room = CaptionRoom();
    const QSize caption = fontMetrics().size(Qt::TextShowMnemonic, title()).boundedTo(room.size());
    // An etched line, as group boxes have long been drawn, through the middle of the caption.
    qDrawShadeRect(&painter, rect().adjusted(0, caption.height() / 2, 0, 0), palette(), true);
    painter.fillRect(
        QRect(room.left() - kCaptionGap, 0, caption.width() + 2 * kCaptionGap, caption.height()),
        palette().brush(backgroundRole()));
    style()->drawItemText(&painter, room, Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic,
                          palette(), isEnabled(), title(), foregroundRole());
}

}  // namespace ui
