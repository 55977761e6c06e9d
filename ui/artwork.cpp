#include "ui/artwork.h"

namespace ui {

QIcon AppIcon() {
    return QIcon(QStringLiteral(":/zentriq.ico"));
}

QPixmap ProductPhoto() {
    return QPixmap(QStringLiteral(":/plc_photo.jpg"));
}

}  // namespace ui
