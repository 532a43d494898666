#include "sim/DemoControl.h"

#include "sim/DemoDevices.h"

#include <QInputDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>

#include <algorithm>

namespace sim {

QMainWindow* makeDemoControl(DemoDevices& devices) {
    auto* window = new QMainWindow;
    window->setObjectName(QStringLiteral("DemoControl"));
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

QPoint demoControlPlace(const QRect& mainFrame, const QSize& size, const QRect& screenArea) {
    constexpr int kGap = 16;
    const QPoint right = mainFrame.topRight() + QPoint(1 + kGap, 0);
    if (screenArea.contains(QRect(right, size))) return right;
    const QPoint below = mainFrame.bottomLeft() + QPoint(0, 1 + kGap);
    if (screenArea.contains(QRect(below, size))) return below;
    // Pushed back from the right and bottom edges, but never past the left and top ones.
    const int x = std::max(screenArea.left(), std::min(right.x(), screenArea.right() + 1 - size.width()));
    const int y = std::max(screenArea.top(), std::min(right.y(), screenArea.bottom() + 1 - size.height()));
    return {x, y};
}

} // namespace sim
