// Start-up: the main converter window is the program's first window; the program ends when Exit
// is clicked or its last window is closed.
#include <QApplication>

#include "ui/form11.h"
#include "ui/start_up.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Ties the windows to the installed menu entry, so desktops show its name and icon for them.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.holvent.Zentriq"));
    ui::FitFontToBothWindows();
    ui::Form11 window;
    window.show();
    return QApplication::exec();
}
