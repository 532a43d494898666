#include "GridInput.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableWidget>
#include <QTest>
#include <QThread>

namespace input {

namespace {
QPoint cellCentre(QTableWidget* grid, int column, int row) {
    grid->scrollTo(grid->model()->index(row, column));
    return grid->visualRect(grid->model()->index(row, column)).center();
}
} // namespace

void clickCell(QTableWidget* grid, int column, int row) {
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(grid, column, row));
}

void doubleClickCell(QTableWidget* grid, int column, int row) {
    const QPoint at = cellCentre(grid, column, row);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
}

void typeText(QWidget* widget, const QString& text) {
    // QTest::keyClicks knows only ASCII keys; Cyrillic letters travel as key events with their text.
    for (const QChar c : text) {
        const bool ascii = c.unicode() < 0x80;
        const auto key = ascii ? Qt::Key(QChar(c).toUpper().unicode()) : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Press, widget, key, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, widget, key, QString(c), Qt::NoModifier);
    }
}

void pressEnter(QWidget* widget) {
    QTest::keyClick(widget, Qt::Key_Return);
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

} // namespace input
