// The least a window costs: an empty main window of the program's caption and size, for the start-up
// benchmark to hold the program against.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Конфигуратор Ортекс V2.04"));
    window.resize(688, 404 + 22);
    window.move(208, 114);
    window.show();
    return app.exec();
}
