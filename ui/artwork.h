// The pictures both windows show, built into the program as Qt resources.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace ui {

// The window icon: the 48, 32 and 16 pixel 24-bit images of the application's .ico, each with its
// mask as transparency, built into the program as raw pixels (assets/make_icon.py writes them).
QIcon AppIcon();

// The 100 x 100 product photograph of the About window.
QPixmap ProductPhoto();

}  // namespace ui
