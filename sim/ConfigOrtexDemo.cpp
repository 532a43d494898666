// The program's own two windows wired to simulated devices, so that it can be tried without an
// alarm system: COM1 is a control unit with three expanders, COM2 a key-programming device. A small
// window of the demonstration itself touches keys to the simulated key-programming device.
#include "app/MainForm.h"
#include "app/ProgramWindows.h"
#include "app/ToolkitTranslation.h"
#include "config/Dialogs.h"
#include "link/Link.h"
#include "link/PortNames.h"
#include "sim/DemoDevices.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QTemporaryDir>

namespace {

QMainWindow* makeDemoControl(sim::DemoDevices& devices) {
    auto* window = new QMainWindow;
    window->setWindowTitle(QStringLiteral("Демонстрация: имитаторы устройств"));
    auto* text = new QLabel(QStringLiteral("COM1: прибор с расширителями 1, 2 и 5.\n"
                                           "Код доступа 1234, код инженера 5678: введите 12345678.\n\n"
                                           "COM2: программатор ключей ТМ.\n"
                                           "Меню «Ключ» прикладывает ключ к программатору."));
    text->setMargin(12);
    window->setCentralWidget(text);
    QMenu* keyMenu = window->menuBar()->addMenu(QStringLiteral("Ключ"));
    keyMenu->addAction(QStringLiteral("Приложить новый ключ"),
                       [&devices] { devices.keyDevice.touchNewKey(); });
    keyMenu->addAction(QStringLiteral("Приложить записанный ключ…"), [window, &devices] {
        bool ok = false;
        const int slot = QInputDialog::getInt(window, QStringLiteral("Записанный ключ"),
                                              QStringLiteral("Ячейка ключа (0…179):"), 0, 0, 179, 1, &ok);
        if (ok) devices.keyDevice.touchKeyRecordedIn(slot);
    });
    window->adjustSize();
    return window;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(applicationTitle());
    installToolkitTranslation();

    QTemporaryDir portFolder;
    sim::DemoDevices devices;
    if (!portFolder.isValid() || !devices.start(portFolder.path().toStdString())) {
        QMessageBox::critical(nullptr, applicationTitle(),
                              QStringLiteral("Не удалось создать псевдотерминалы для имитаторов."));
        return 1;
    }
    setPortFolder(portFolder.path());

    ProgramWindows windows;
    windows.main->show();
    std::unique_ptr<QMainWindow> control(makeDemoControl(devices));
    control->move(windows.main->frameGeometry().topRight() + QPoint(16, 0));
    control->show();

    const int result = app.exec();
    Link::ClosePort();
    devices.stop();
    return result;
}
