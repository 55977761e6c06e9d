// The pictures both windows show, built into the program as Qt resources.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace ui {

// The application icon: 48, 32 and 16 pixels, each at 16 colours, 256 colours and 24-bit colour.
QIcon AppIcon();

// The 100 x 100 product photograph of the About window.
QPixmap ProductPhoto();

}  // namespace ui
