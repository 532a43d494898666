// The program's own two windows wired to simulated devices, so that it can be tried without an
// alarm system: COM1 is a control unit with three expanders, COM2 a key-programming device. A small
// window of the demonstration itself touches keys to the simulated key-programming device.
#include "app/MainForm.h"
#include "app/ProgramWindows.h"
#include "app/ToolkitTranslation.h"
#include "base/Dialogs.h"
#include "link/Link.h"
#include "link/PortNames.h"
#include "sim/DemoControl.h"
#include "sim/DemoDevices.h"

#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>

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
    std::unique_ptr<QMainWindow> control(sim::makeDemoControl(devices));
    // Placed where the whole window is on the screen, beside the main window when there is room.
    // Its frame is not known before it is shown: the main window's frame margins stand in for it.
    const QRect mainFrame = windows.main->frameGeometry();
    const QSize outerSize = control->size() + (mainFrame.size() - windows.main->geometry().size());
    control->move(sim::demoControlPlace(mainFrame, outerSize, windows.main->screen()->availableGeometry()));
    control->show();

    const int result = app.exec();
    Link::ClosePort();
    devices.stop();
    return result;
}
