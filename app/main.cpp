// Start-up: the main converter window is the program's first window; the program ends when Exit
// is clicked or its last window is closed.
#include <QApplication>

#include "ui/form11.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    ui::Form11 window;
    window.show();
    return QApplication::exec();
}
