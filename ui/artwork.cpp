#include "ui/artwork.h"

#include <QByteArray>
#include <QImage>
#include <QResource>

namespace ui {

QIcon AppIcon() {
    // Built in as raw pixels rather than read from the .ico: decoding its nine images through the
    // image plugins is the largest part of what the window costs before its first frame.
    QIcon icon;
    for (const int size : {16, 32, 48}) {
        const QResource resource(QStringLiteral(":/window_icon/%1.rgba").arg(size));
        const QByteArray pixels = resource.uncompressedData();  // stored uncompressed: no copy
        if (pixels.size() == qsizetype{size} * size * 4) {
            const QImage image(reinterpret_cast<const uchar*>(pixels.constData()), size, size,
                               QImage::Format_RGBA8888);
            icon.addPixmap(QPixmap::fromImage(image));
        }
    }
    return icon;
}

QPixmap ProductPhoto() {
    return QPixmap(QStringLiteral(":/plc_photo.jpg"));
}

}  // namespace ui
