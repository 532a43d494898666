#pragma once
#include "DialogRecorder.h"
#include "base/GridCells.h"
#include "config/ConfigView.h"
#include "config/ExpanderConfig.h"
#include "config/LoopLayout.h"
#include "config/MainControls.h"
#include "editors/LoopEditor.h"
#include "editors/PartitionsEditor.h"
#include "editors/UsersEditor.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

// The part of the main window the grid editors work on, shaped like it: a 688 x 404 client area
// with the tab pages at 0, 66, the three grids with their fixed texts, row heights and column
// widths of a 696-pixel window, and the hidden cell editors as children of the grids' pages.
class EditorsWindow {
  public:
    QWidget window;
    QTabWidget* pages = new QTabWidget(&window);
    QWidget* generalPage = new QWidget;
    QWidget* loopPage = new QWidget;
    QWidget* partitionsPage = new QWidget;
    QWidget* usersPage = new QWidget;
    QTableWidget* loopGrid = new QTableWidget(21, 9, loopPage);
    QTableWidget* partitionsGrid = new QTableWidget(11, 9, partitionsPage);
    QTableWidget* usersGrid = new QTableWidget(10, 32, usersPage);
    QComboBox* list = new QComboBox(loopPage);
    QLineEdit* edit2 = new QLineEdit(partitionsPage);
    QLineEdit* edit3 = new QLineEdit(usersPage);
    QLineEdit* otherControl = new QLineEdit(&window); // stands for Edit1 above the pages
    QComboBox* exitDelay = new QComboBox(generalPage);
    ConfigControls controls;
    ExpanderConfig config;
    std::unique_ptr<LoopEditor> loopEditor;
    std::unique_ptr<PartitionsEditor> partitionsEditor;
    std::unique_ptr<UsersEditor> usersEditor;

    EditorsWindow() {
        window.resize(688, 404);
        otherControl->setGeometry(342, 40, 137, 21);
        pages->setGeometry(0, 66, 688, 338);
        pages->addTab(generalPage, QStringLiteral("Общие свойства"));
        pages->addTab(loopPage, QStringLiteral("Свойства ШС"));
        pages->addTab(partitionsPage, QStringLiteral("Глобальные разделы"));
        pages->addTab(usersPage, QStringLiteral("Пользователи"));
        for (int i = 0; i < 13; ++i)
            controls.checkBoxes[i] = new QCheckBox(generalPage);
        exitDelay->addItems(exitDelayItems());
        controls.exitDelay = exitDelay;
        controls.loopGrid = loopGrid;
        controls.partitionsGrid = partitionsGrid;
        controls.usersGrid = usersGrid;

        shapeGrid(loopGrid, 18, 160, 60);
        loopGrid->setGeometry(0, 0, 680, 310);
        for (int n = 1; n <= 8; ++n)
            setCellText(loopGrid, n, 0, loopColumnHeader(n));
        for (int r = 1; r <= 20; ++r)
            setCellText(loopGrid, 0, r, loopRowCaptions()[r - 1]);
        list->setGeometry(0, 0, 60, 21);

        shapeGrid(partitionsGrid, 24, 140, 63);
        partitionsGrid->setGeometry(8, 8, 657, 281);
        for (int p = 1; p <= 8; ++p)
            setCellText(partitionsGrid, p, 0, partitionColumnHeader(p));
        for (int r = 1; r <= 10; ++r)
            setCellText(partitionsGrid, 0, r, partitionRowCaptions()[r - 1]);
        edit2->setGeometry(0, 0, 63, 26);

        shapeGrid(usersGrid, 24, 35, 19);
        usersGrid->setGeometry(0, 0, 680, 257);
        for (int u = 0; u <= 30; ++u)
            setCellText(usersGrid, u + 1, 0, userColumnHeader(u));
        for (int r = 1; r <= 9; ++r)
            setCellText(usersGrid, 0, r, userRowCaptions()[r - 1]);
        edit3->setGeometry(0, 0, 41, 21);

        loopEditor = std::make_unique<LoopEditor>(loopGrid, list, config, controls, &window);
        partitionsEditor = std::make_unique<PartitionsEditor>(partitionsGrid, edit2, &window);
        usersEditor = std::make_unique<UsersEditor>(usersGrid, edit3, config, &window);
    }

    ~EditorsWindow() {
        loopEditor.reset();
        partitionsEditor.reset();
        usersEditor.reset();
    }

    // Shows the window and the page of the grid, and gives the grid the focus.
    void showPage(QWidget* page, QTableWidget* grid) {
        pages->setCurrentWidget(page);
        if (!window.isVisible()) {
            window.show();
            QApplication::setActiveWindow(&window);
            EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        }
        grid->setFocus();
        QApplication::processEvents();
    }

    void show(const ExpanderConfig& shown) {
        config = shown;
        ShowConfig(config, controls, true);
    }

    static void shapeGrid(QTableWidget* grid, int rowHeight, int firstWidth, int otherWidth) {
        grid->horizontalHeader()->hide();
        grid->verticalHeader()->hide();
        for (int r = 0; r < grid->rowCount(); ++r)
            grid->setRowHeight(r, rowHeight);
        grid->setColumnWidth(0, firstWidth);
        for (int c = 1; c < grid->columnCount(); ++c)
            grid->setColumnWidth(c, otherWidth);
    }
};

// Mouse and keyboard as the user gives them.
inline QPoint cellCenter(const QTableWidget* grid, int column, int row) {
    return grid->visualRect(grid->model()->index(row, column)).center();
}

inline void clickCell(QTableWidget* grid, int column, int row) {
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCenter(grid, column, row));
}

inline void doubleClickCell(QTableWidget* grid, int column, int row) {
    const QPoint at = cellCenter(grid, column, row);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
}

inline void moveMouse(QTableWidget* grid, const QPoint& at) {
    QMouseEvent move(QEvent::MouseMove, at, grid->viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &move);
}

// Keys go to whichever widget has the focus, as they would on screen.
inline void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, key, modifiers);
}

inline void typeText(const QString& text) {
    for (const QChar c : text) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        const int key = c.unicode() < 128 ? c.toUpper().unicode() : int(Qt::Key_unknown);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &release);
    }
}

// The build folder (where CMakeCache.txt is), for the rendered screens.
inline QString buildFolder() {
    QDir dir(QCoreApplication::applicationDirPath());
    for (int i = 0; i < 4; ++i) {
        if (dir.exists(QStringLiteral("CMakeCache.txt"))) return dir.absolutePath();
        dir.cdUp();
    }
    return QCoreApplication::applicationDirPath();
}
