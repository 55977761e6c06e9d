#include "ui/artwork.h"

#include <QImage>
#include <QImageReader>
#include <QMap>

namespace ui {

QIcon AppIcon() {
    // Qt's ICO reader drops the transparency mask of 24-bit images, and QIcon prefers them for
    // their depth, so the icon would show on a black square. The 256-colour image of the same size
    // carries the same mask; its alpha channel is lent to the 24-bit one.
    QImageReader reader(QStringLiteral(":/zentriq.ico"));
    QMap<int, QImage> deepest;  // by size: the image with the most colours
    QMap<int, QImage> masked;   // by size: an image whose mask survived the reading
    for (int i = 0; i < reader.imageCount(); ++i) {
        if (!reader.jumpToImage(i)) {
            break;
        }
        const QImage image = reader.read();
        if (image.isNull()) {
            continue;
        }
        const int size = image.width();
        if (image.hasAlphaChannel() && !masked.contains(size)) {
            masked.insert(size, image);
        }
        const QImage& best = deepest[size];
        if (best.isNull() || image.text(QStringLiteral("_q_icoOrigDepth")).toInt() >=
                                 best.text(QStringLiteral("_q_icoOrigDepth")).toInt()) {
            deepest[size] = image;
        }
    }
    QIcon icon;
    for (auto it = deepest.cbegin(); it != deepest.cend(); ++it) {
        QImage image = it.value().convertToFormat(QImage::Format_ARGB32);
        if (const QImage mask = masked.value(it.key());
            !mask.isNull() && mask.size() == image.size()) {
            image.setAlphaChannel(mask.convertToFormat(QImage::Format_Alpha8));
        }
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

QPixmap ProductPhoto() {
    return QPixmap(QStringLiteral(":/plc_photo.jpg"));
}

}  // namespace ui
