// The floor for the start-up benchmark: the least a Qt Widgets program can show, a window with one
// label, built and started exactly as the converter is.

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Floor"));
    auto* label = new QLabel(QStringLiteral("Floor"), &window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(label);
    window.show();
    return QApplication::exec();
}
