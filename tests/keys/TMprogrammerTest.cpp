// The key programmer window through its real controls, offscreen, against the simulated
// key-programming device on a pseudo-terminal (linked as ttyS1, that is COM2).
#include "keys/TMprogrammer.h"
#include "DialogRecorder.h"
#include "LockstepClock.h"
#include "TestPorts.h"
#include "base/Clock.h"
#include "base/Dialogs.h"
#include "base/GridCells.h"
#include "base/Hints.h"
#include "base/Text1251.h"
#include "config/MainControls.h"
#include "journal/JournalWindow.h"
#include "keys/KeyTexts.h"
#include "link/Access.h"
#include "link/Link.h"
#include "link/PortNames.h"
#include "sim/KeyDeviceSim.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using sim::KeyDeviceSim;
using Bytes = std::vector<uint8_t>;

namespace {

const QString kNoAnswer = QStringLiteral("Нет ответа");

class KeyWindow : public testing::Test {
  protected:
    void SetUp() override {
        dialogs.clear();
        dialogs.answers.clear();
        dialogs.fileNames.clear();
        Clock::setTerminating(false);
        Access::resetFlags();
        Link::ClosePort();
        ASSERT_TRUE(dir.isValid());
        setPortFolder(dir.path());
        ASSERT_TRUE(device.start());
        ASSERT_TRUE(device.linkAs((dir.path() + "/ttyS1").toStdString()));
        form = std::make_unique<TTMwriteForm>();
        // Ticks are driven by the tests; the real timer must not fire in between.
        form->Timer1->setInterval(3600 * 1000);
    }
    void TearDown() override {
        form.reset();
        Link::ClosePort();
        device.stop();
        setPortFolder(EmptyPortFolder());
        Clock::setTerminating(false);
        Access::resetFlags();
    }

    // The main window's access step, code 12345678, on the open port.
    static bool accessStep() {
        QLineEdit code(QStringLiteral("12345678"));
        QCheckBox defaultCode;
        MainControls controls;
        controls.accessCode = &code;
        controls.defaultCode = &defaultCode;
        return Access::CheckAccess(controls);
    }

    // A control unit granted the main window's access earlier in the run (the status-8 flag). The
    // device answers that one access request as a control unit does.
    void grantAccessOnce() {
        device.setAccessAnswer(8);
        ASSERT_TRUE(Link::OpenPort(QStringLiteral("COM2")));
        ASSERT_TRUE(accessStep());
        ASSERT_TRUE(Access::status8Flag());
        device.setAccessAnswer(-1);
        device.clearFrames();
    }
    void choosePort() {
        form->show();
        // Focus goes to a window once the platform has activated it, which a loaded machine delays.
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        ASSERT_EQ(form->ComboBox1->count(), 1);
        form->ComboBox1->setCurrentIndex(0);
        form->ComboBox1Change();
    }
    QString cell(int column, int row) const { return cellText(form->StringGrid1, column, row); }
    QPoint centerOf(int column, int row) {
        QTableWidgetItem* item = form->StringGrid1->item(row, column);
        form->StringGrid1->scrollToItem(item);
        return form->StringGrid1->visualItemRect(item).center();
    }
    void clickCell(int column, int row, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(form->StringGrid1->viewport(), Qt::LeftButton, modifiers, centerOf(column, row));
    }
    void doubleClickCell(int column, int row) {
        const QPoint at = centerOf(column, row);
        QTest::mouseClick(form->StringGrid1->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(form->StringGrid1->viewport(), Qt::LeftButton, {}, at);
    }
    std::vector<KeyDeviceSim::Frame> writeFrames() const { return device.framesOf(3); }
    // The panel as the user sees it: text, whether it, the progress bar and "Отмена" show, progress.
    bool panelShown() const { return !form->Panel1->isHidden(); }
    // Arms a write on the given cell and checks it was accepted.
    void armWrite(int column, int row) {
        clickCell(column, row);
        form->Button3Click();
        ASSERT_TRUE(panelShown());
    }

    LockstepClock clock;
    DialogRecorder dialogs;
    QTemporaryDir dir;
    KeyDeviceSim device;
    std::unique_ptr<TTMwriteForm> form;
};

Bytes request(uint8_t command, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4) {
    return KeyDeviceSim::requestFrame(command, p1, p2, p3, p4);
}

// Types text key by key, one character (code point) a key, as a keyboard would.
void typeText(QWidget* widget, const QString& text) {
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype width = text[i].isHighSurrogate() ? 2 : 1;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text.mid(i, width));
        QCoreApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, text.mid(i, width));
        QCoreApplication::sendEvent(widget, &release);
        i += width;
    }
}



// --- the window as created --------------------------------------------------------------------------

TEST_F(KeyWindow, CreatedHiddenWithItsPortListGridAndHints) {
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Программирование ключей ТМ"));
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->ComboBox1->count(), 1);
    EXPECT_EQ(form->ComboBox1->itemText(0), QStringLiteral("COM2"));
    EXPECT_EQ(form->ComboBox1->currentIndex(), -1);
    for (const auto& [field, label] : {std::pair<QWidget*, QObject*>{form->ComboBox1, form->Label3}, {form->Edit4, form->Label5}}) {
        const auto labels = QAccessible::queryAccessibleInterface(field)->relations(QAccessible::Label);
        EXPECT_TRUE(labels.size() == 1 && labels[0].first->object() == label) << "read with its caption";
    }
    EXPECT_FALSE(Link::portOpen()) << "the port scan closes every port it opened";
    EXPECT_TRUE(form->Panel1->isHidden());
    EXPECT_EQ(form->ProgressBar1->maximum(), 10);
    EXPECT_FALSE(form->Timer1->isActive());

    // Texts whose line breaks and double spaces matter.
    const std::pair<QString, QString> texts[] = {
        {form->Label6->text(), QStringLiteral("ПОДНЕСИТЕ  КЛЮЧ  i-Button")},
        {form->Button6->toolTip(), QStringLiteral("Нажмите, чтобы сохранить список запрограммированых\r\n"
                                                  "ключей и описания к ним в текстовый файл")},
        {form->StringGrid1->toolTip(),
         QStringLiteral("Выберите ключ для просмотра описания или программирования,\r\n"
                        "для программирования ключа на три расширителя\r\nдважды кликните мышью")},
        {cell(0, 1), QStringLiteral("пользователь1")},
        {cell(0, 30), QStringLiteral("пользователь30")},
        {cell(1, 0), QStringLiteral("расш.1  ключ1")},
        {cell(3, 0), QStringLiteral("расш.3  ключ1")},
        {cell(4, 0), QStringLiteral("расш.1  ключ2")},
        {cell(6, 0), QStringLiteral("расш.3  ключ2")},
        {cell(1, 1), QString()}, // key cells are empty before the first refresh
    };
    for (const auto& [actual, expected] : texts)
        EXPECT_EQ(actual, expected);

    QTableWidget* grid = form->StringGrid1;
    EXPECT_EQ(grid->columnCount(), 7);
    EXPECT_EQ(grid->rowCount(), 31);
    EXPECT_EQ(grid->rowHeight(5), 18);
    EXPECT_EQ(grid->currentColumn(), 1);
    EXPECT_EQ(grid->currentRow(), 1);
}

TEST_F(KeyWindow, ShowSetsTheHintTimeAndResizeFitsTheColumns) {
    setHintDisplayMs(45000);
    form->show();
    EXPECT_EQ(hintDisplayMs(), 10000);

    // The outer width counts: the frame is added to the client width.
    const int frame = form->frameGeometry().width() - form->width();
    struct Case {
        int width;
        int column;
    };
    for (const Case c : {Case{300, 34}, Case{688, 89}, Case{1000, 134}}) {
        form->resize(c.width - frame, 400);
        QCoreApplication::processEvents();
        ASSERT_EQ(form->frameGeometry().width(), c.width);
        for (int column = 0; column < 7; ++column)
            EXPECT_EQ(form->StringGrid1->columnWidth(column), c.column) << c.width << " column " << column;
    }
    // Narrower than 300 outside is not possible; the buttons on the right keep their distance from
    // the edge and the grid stretches.
    form->resize(100, 100);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->frameGeometry().width(), 300);
    EXPECT_EQ(form->StringGrid1->columnWidth(3), 34);
    const int right = form->centralWidget()->width();
    EXPECT_EQ(right - form->Button6->geometry().right(), 688 - (544 + 121) + 1);
    EXPECT_EQ(form->StringGrid1->width(), right - 688 + 665);
}

// --- the key table ------------------------------------------------------------------------------------

TEST_F(KeyWindow, PortChoiceReadsTheThreeTables) {
    device.setSingleKey(34, true);           // expander 2, user 5, key 1
    device.setSingleKey(95, true);           // expander 1, user 6, key 2
    device.setSingleKey(179, true);          // expander 3, user 30, key 2
    device.setSingleKey(11, true);           // expander 1, user 12, key 1 ...
    device.setThreeExpanderKey(1, 12, true); // ... and a three-expander key 1 of user 12
    device.setThreeExpanderKey(2, 3, true);
    ASSERT_NO_FATAL_FAILURE(choosePort());

    EXPECT_TRUE(dialogs.entries.empty());
    EXPECT_TRUE(Link::portOpen());
    const auto frames = device.frames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].bytes, request(2, 0, 0, 0, 0));
    EXPECT_EQ(frames[1].bytes, request(2, 1, 0, 0, 0));
    EXPECT_EQ(frames[2].bytes, request(2, 2, 0, 0, 0));

    for (int slot = 0; slot < 180; ++slot) {
        const int column = slot / 30 + 1, row = slot % 30 + 1;
        QString expected = device.singleKey(slot) ? KeyTexts::present() : KeyTexts::absent();
        if ((column == 1 && row == 12) || (column == 4 && row == 3)) expected = KeyTexts::threeExpanders();
        EXPECT_EQ(cell(column, row), expected) << "slot " << slot;
    }
    EXPECT_TRUE(form->StringGrid1->hasFocus());
}

TEST_F(KeyWindow, ThirdTableUnansweredShowsNoAnswer) {
    device.setSingleKey(0, true);
    KeyDeviceSim::Fault silent;
    silent.command = 2;
    silent.parameter1 = 2;
    silent.silent = true;
    silent.times = -1;
    device.addFault(silent);
    ASSERT_NO_FATAL_FAILURE(choosePort());

    ASSERT_EQ(dialogs.texts(), QStringList{kNoAnswer});
    EXPECT_EQ(dialogs.entries[0].caption, applicationTitle());
    EXPECT_EQ(form->ComboBox1->currentIndex(), -1);
    EXPECT_TRUE(Link::portOpen()) << "the port stays open";
    EXPECT_EQ(device.framesOf(2).size(), 1u + 1u + 5u);
    EXPECT_EQ(cell(1, 1), KeyTexts::present()) << "the tables that answered are shown";
}

TEST_F(KeyWindow, FirstTableUnansweredGoesOnWithTheOthers) {
    KeyDeviceSim::Fault silent;
    silent.command = 2;
    silent.parameter1 = 0;
    silent.silent = true;
    silent.times = -1;
    device.addFault(silent);
    device.setSingleKey(90, true);
    ASSERT_NO_FATAL_FAILURE(choosePort());
    EXPECT_TRUE(dialogs.entries.empty());
    EXPECT_EQ(cell(1, 1), QString());
    EXPECT_EQ(cell(4, 1), KeyTexts::present());
    EXPECT_TRUE(form->isVisible());
}

TEST_F(KeyWindow, ControlUnitOnThePortHandsBackToTheMainWindow) {
    struct Case {
        const char* name;
        KeyDeviceSim::Fault fault;
        bool status8;
    };
    KeyDeviceSim::Fault controlUnit;
    controlUnit.command = 2;
    controlUnit.controlUnitStatus = 7;
    controlUnit.times = -1;
    KeyDeviceSim::Fault refused; // a key device that refuses, after a control unit granted access
    refused.command = 2;
    refused.status = 4;
    refused.times = -1;
    const Case cases[] = {
        {"a reply of length 6 with status 7", controlUnit, false},
        {"the status-8 flag", refused, true},
    };
    for (const Case& c : cases) {
        TearDown();
        SetUp();
        if (c.status8) ASSERT_NO_FATAL_FAILURE(grantAccessOnce());
        device.addFault(c.fault);
        QPoint shownAt(-1, -1);
        int shownPort = -2;
        int mainSelections = 0;
        form->showMainWindow = [&](QPoint at, int port) {
            shownAt = at;
            shownPort = port;
            EXPECT_EQ(mainSelections, 0) << "the main window is shown before its port selection runs";
        };
        form->runMainPortSelection = [&] { ++mainSelections; };
        form->move(40, 50);
        form->startTimer();
        ASSERT_NO_FATAL_FAILURE(choosePort());

        EXPECT_EQ(shownAt, form->pos()) << c.name;
        EXPECT_EQ(shownPort, 0) << c.name;
        EXPECT_EQ(mainSelections, 1) << c.name;
        EXPECT_FALSE(form->isVisible()) << c.name;
        EXPECT_FALSE(form->Timer1->isActive()) << c.name;
        EXPECT_TRUE(dialogs.entries.empty()) << c.name;
        // Only the first table was asked for, with its five tries.
        EXPECT_EQ(device.framesOf(2).size(), 5u) << c.name;
        for (const auto& f : device.framesOf(2))
            EXPECT_EQ(f.bytes, request(2, 0, 0, 0, 0)) << c.name;
    }
}

TEST_F(KeyWindow, AccessStepRecognisesTheKeyDevice) {
    // The main window's access step on this device's port: status 5 in a 38-byte frame, no message;
    // the main window then hands over.
    ASSERT_TRUE(Link::OpenPort(QStringLiteral("COM2")));
    EXPECT_FALSE(accessStep());
    EXPECT_TRUE(Link::holdsKeyDeviceSignature());
    EXPECT_TRUE(dialogs.entries.empty());
    EXPECT_FALSE(Access::status8Flag());
}

TEST_F(KeyWindow, HandOverHooks) {
    // What the main window uses: choosing the port index runs nothing, the timer starts.
    form->selectPortIndex(0);
    EXPECT_EQ(form->ComboBox1->currentIndex(), 0);
    EXPECT_FALSE(Link::portOpen());
    EXPECT_TRUE(device.frames().empty());
    form->startTimer();
    EXPECT_TRUE(form->Timer1->isActive());

    // "МПК": the main window at this window's place with this port index; timer off, window hidden.
    form->show();
    form->move(70, 80);
    QPoint shownAt;
    int shownPort = -2;
    bool wasVisibleWhenAsked = false;
    form->showMainWindow = [&](QPoint at, int port) {
        shownAt = at;
        shownPort = port;
        wasVisibleWhenAsked = form->isVisible();
    };
    int mainSelections = 0;
    form->runMainPortSelection = [&] { ++mainSelections; };
    form->N5->trigger();
    EXPECT_EQ(shownAt, form->pos());
    EXPECT_EQ(shownPort, 0);
    EXPECT_TRUE(wasVisibleWhenAsked);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(mainSelections, 0);
    EXPECT_FALSE(Clock::terminating());
}

// The journal's menu follows "МПК"; its item opens the program's one journal window.
TEST_F(KeyWindow, JournalMenuComesLastAndOpensTheOneJournalWindow) {
    const QList<QAction*> top = form->menuBar()->actions();
    ASSERT_EQ(top.size(), 3);
    EXPECT_EQ(top[1], form->N5);
    EXPECT_EQ(top[2]->text(), QStringLiteral("Сервис"));
    Journal::JournalWindow* shared = &Journal::showJournalWindow();
    shared->hide();
    auto* item = form->findChild<QAction*>(QStringLiteral("JournalAction"));
    ASSERT_NE(item, nullptr);
    item->trigger();
    EXPECT_EQ(Journal::journalWindow(), shared);
    EXPECT_TRUE(shared->isVisible());
    shared->close();
}

// --- selecting cells and descriptions -----------------------------------------------------------------

TEST_F(KeyWindow, OneCellAtATimeAndTheThreeCellGroup) {
    form->show();
    QTableWidget* grid = form->StringGrid1;
    clickCell(2, 4);
    clickCell(3, 6, Qt::ShiftModifier);
    EXPECT_EQ(grid->selectionModel()->selectedIndexes().size(), 1) << "no range selection";
    clickCell(0, 9); // a heading cannot become current
    EXPECT_EQ(grid->currentColumn(), 3);
    EXPECT_EQ(grid->currentRow(), 6);

    struct Case {
        const char* name;
        int column, row;
        bool enter;
        int first;
    };
    const Case cases[] = {
        {"double-click on column 5", 5, 7, false, 4},
        {"double-click on column 1", 1, 30, false, 1},
        {"Enter on column 2", 2, 2, true, 1},
        {"Enter on column 4", 4, 15, true, 4},
    };
    for (const Case& c : cases) {
        form->KeyDescriptions.fill(QString());
        form->KeyDescriptions[size_t((c.first + 1) * 30 + c.row - 1)] = QStringLiteral("last of the group");
        form->KeyDescriptions[size_t((c.column - 1) * 30 + c.row - 1)] = QStringLiteral("clicked");
        if (c.enter) {
            clickCell(c.column, c.row);
            QTest::keyClick(grid, Qt::Key_Return);
        } else {
            doubleClickCell(c.column, c.row);
        }
        QList<int> columns;
        for (const QModelIndex& i : grid->selectionModel()->selectedIndexes()) {
            EXPECT_EQ(i.row(), c.row) << c.name;
            columns << i.column();
        }
        std::sort(columns.begin(), columns.end());
        EXPECT_EQ(columns, (QList<int>{c.first, c.first + 1, c.first + 2})) << c.name;
        EXPECT_EQ(grid->currentColumn(), c.first + 2) << c.name;
        EXPECT_EQ(grid->currentRow(), c.row) << c.name;
        EXPECT_EQ(form->Edit4->text(), QStringLiteral("clicked")) << c.name << ": the field is not refreshed";
        bool three = false;
        EXPECT_EQ(form->selectionSlot(&three), (c.first == 1 ? 0 : 90) + c.row - 1) << c.name;
        EXPECT_TRUE(three) << c.name;

        clickCell(2, 2); // any click selects one cell again
        EXPECT_EQ(grid->selectionModel()->selectedIndexes().size(), 1) << c.name;
        EXPECT_EQ(form->selectionSlot(&three), 31) << c.name;
        EXPECT_FALSE(three) << c.name;
    }
}

TEST_F(KeyWindow, DescriptionFieldFollowsTheCurrentCell) {
    form->show();
    form->KeyDescriptions[0] = QStringLiteral("первый");
    form->KeyDescriptions[KeyLink::slotOf(2, 3, 17)] = QStringLiteral("  с пробелами  ");
    clickCell(6, 17);
    EXPECT_EQ(form->Edit4->text(), QStringLiteral("  с пробелами  "));
    clickCell(1, 1);
    EXPECT_EQ(form->Edit4->text(), QStringLiteral("первый"));
    const auto before = form->KeyDescriptions;

    // Typing changes the current cell's slot only.
    typeText(form->Edit4, QStringLiteral(" Ё№"));
    EXPECT_EQ(form->KeyDescriptions[0], QStringLiteral("первый Ё№"));
    for (int s = 1; s < 180; ++s)
        EXPECT_EQ(form->KeyDescriptions[size_t(s)], before[size_t(s)]) << s;

    // Moving by keyboard shows the next slot's description, without storing anything.
    form->StringGrid1->setFocus();
    QTest::keyClick(form->StringGrid1, Qt::Key_Down);
    EXPECT_EQ(form->StringGrid1->currentRow(), 2);
    EXPECT_EQ(form->Edit4->text(), QString());
    EXPECT_EQ(form->KeyDescriptions[1], QString());
    EXPECT_EQ(form->KeyDescriptions[0], QStringLiteral("первый Ё№"));
}

TEST_F(KeyWindow, DescriptionFieldTakesOnlyCodePage1251) {
    form->show();
    clickCell(2, 2);
    struct Case {
        const char* name;
        QString typed;
        QString kept;
    };
    const Case cases[] = {
        {"Cyrillic, euro and numero sign", QStringLiteral("Щит € №5"), QStringLiteral("Щит € №5")},
        {"a CJK character", QStringLiteral("a日b"), QStringLiteral("ab")},
        {"a character outside the basic plane", QStringLiteral("x\U0001F511y"), QStringLiteral("xy")},
        {"Greek", QStringLiteral("αβ-1"), QStringLiteral("-1")},
    };
    for (const Case& c : cases) {
        form->Edit4->clear();
        form->KeyDescriptions[31].clear();
        typeText(form->Edit4, c.typed);
        EXPECT_EQ(form->Edit4->text(), c.kept) << c.name;
        EXPECT_EQ(form->KeyDescriptions[31], c.kept) << c.name;
        EXPECT_TRUE(fitsCp1251(form->KeyDescriptions[31])) << c.name;
    }
    // A paste of mixed text keeps what fits.
    form->Edit4->clear();
    form->Edit4->insert(QStringLiteral("ключ日 7"));
    EXPECT_EQ(form->Edit4->text(), QStringLiteral("ключ 7"));
}

// --- writing a key --------------------------------------------------------------------------------------

TEST_F(KeyWindow, WriteArmsTheSelectedSlot) {
    ASSERT_NO_FATAL_FAILURE(choosePort());
    struct Case {
        const char* name;
        int column, row;
        bool group;
        uint8_t slot, expander;
    };
    const Case cases[] = {
        {"single cell, expander 3 key 1", 3, 10, false, 69, 3},
        {"single cell, expander 2 key 2", 5, 1, false, 120, 2},
        {"group of column 5: three-expander key 2", 5, 7, true, 96, 0},
        {"group of column 2: three-expander key 1", 2, 30, true, 29, 0},
    };
    for (const Case& c : cases) {
        form->Panel1->hide();
        device.clearFrames();
        if (c.group)
            doubleClickCell(c.column, c.row);
        else
            clickCell(c.column, c.row);
        form->Button3Click();
        const auto frames = writeFrames();
        ASSERT_EQ(frames.size(), 1u) << c.name;
        EXPECT_EQ(frames[0].bytes, request(3, c.slot, c.expander, 0, 0)) << c.name;
        EXPECT_TRUE(panelShown()) << c.name;
        EXPECT_FALSE(form->ProgressBar1->isHidden()) << c.name;
        EXPECT_FALSE(form->Button5->isHidden()) << c.name;
        EXPECT_EQ(form->ProgressBar1->value(), 0) << c.name;
        EXPECT_EQ(form->Label6->text(), QStringLiteral("ПОДНЕСИТЕ  КЛЮЧ  i-Button")) << c.name;
        EXPECT_TRUE(device.pending().armed) << c.name;
        EXPECT_EQ(device.pending().slot, c.slot) << c.name;
        EXPECT_EQ(device.pending().expander, c.expander) << c.name;
    }
    EXPECT_FALSE(form->Timer1->isActive()) << "\"Записать\" leaves the timer as it is";
    EXPECT_TRUE(dialogs.entries.empty());
}

TEST_F(KeyWindow, WriteNotAcceptedOrWithoutPort) {
    form->show();
    form->Label6->setText(QStringLiteral("something else"));
    form->Button3Click(); // no port open
    EXPECT_TRUE(device.frames().empty());
    EXPECT_FALSE(panelShown());
    EXPECT_EQ(form->Label6->text(), QStringLiteral("ПОДНЕСИТЕ  КЛЮЧ  i-Button"));

    ASSERT_NO_FATAL_FAILURE(choosePort());
    device.clearFrames();
    KeyDeviceSim::Fault refused;
    refused.command = 3;
    refused.status = 4;
    refused.times = -1;
    device.addFault(refused);
    form->Button3Click();
    ASSERT_EQ(writeFrames().size(), 3u) << "three tries";
    // The tries after a refused reply follow after 100 ms.
    const auto frames = writeFrames();
    EXPECT_GE(frames[1].atMs - frames[0].atMs, 100u);
    EXPECT_FALSE(panelShown());
    EXPECT_TRUE(dialogs.entries.empty());
}

TEST_F(KeyWindow, NewKeyTouchedIsWrittenAndTheWriteClosesThreeTicksLater) {
    ASSERT_NO_FATAL_FAILURE(choosePort());
    ASSERT_NO_FATAL_FAILURE(armWrite(2, 4)); // slot 33, expander 2
    device.clearFrames();
    form->Timer1Timer(); // nothing touched yet: counts
    EXPECT_EQ(form->ProgressBar1->value(), 1);
    EXPECT_TRUE(device.frames().empty());

    device.touchNewKey();
    form->Timer1Timer();
    EXPECT_TRUE(dialogs.entries.empty());
    EXPECT_TRUE(panelShown());
    EXPECT_EQ(form->Label6->text(), QStringLiteral("      КЛЮЧ ЗАПИСАН"));
    EXPECT_TRUE(form->ProgressBar1->isHidden());
    EXPECT_TRUE(form->Button5->isHidden());
    EXPECT_EQ(form->ProgressBar1->value(), 7);
    EXPECT_EQ(cell(2, 4), KeyTexts::present()) << "the table was refreshed";
    EXPECT_EQ(device.framesOf(2).size(), 3u);
    EXPECT_TRUE(form->Timer1->isActive());

    form->Timer1Timer();
    form->Timer1Timer();
    EXPECT_TRUE(writeFrames().empty());
    EXPECT_TRUE(panelShown());
    form->Timer1Timer(); // progress reaches 10: the write is closed
    ASSERT_EQ(writeFrames().size(), 1u);
    EXPECT_EQ(writeFrames()[0].bytes, request(3, 0xFF, 0, 0, 0));
    EXPECT_FALSE(panelShown());
}

TEST_F(KeyWindow, ReportedSlotDecidesAboutTheQuestion) {
    const QString question =
        QStringLiteral("              Этот ключ уже запрограммирован,\r\nперепрограммировать его для "
                       "текущего пользователя?");
    struct Case {
        const char* name;
        int column, row;  // where "Записать" is pressed
        int recordedSlot; // where the touched key already is
        bool recordedThree;
        int answers;   // -1 no question expected, 1 Yes, 0 No
        Bytes decline; // expected decline frame
    };
    const Case cases[] = {
        {"the key is already in the selected slot", 1, 1, 0, false, -1, {}},
        {"another slot, Yes", 1, 1, 40, false, 1, {}},
        {"another slot, No", 1, 1, 40, false, 0, request(3, 0, 0xFE, 40, 1)},
        {"a three-expander key, No", 2, 5, 2, true, 0, request(3, 34, 0xFE, 2, 0)},
    };
    for (const Case& c : cases) {
        TearDown();
        SetUp();
        if (c.recordedThree)
            device.setThreeExpanderKey(1, c.recordedSlot + 1, true);
        else
            device.setSingleKey(c.recordedSlot, true);
        ASSERT_NO_FATAL_FAILURE(choosePort());
        ASSERT_NO_FATAL_FAILURE(armWrite(c.column, c.row));
        const int slot = (c.column - 1) * 30 + c.row - 1;
        if (c.answers >= 0) dialogs.answers.push_back(c.answers == 1);
        device.clearFrames();
        device.touchKeyRecordedIn(c.recordedSlot, c.recordedThree);
        form->Timer1Timer();

        if (c.answers < 0) {
            EXPECT_TRUE(dialogs.entries.empty()) << c.name;
        } else {
            ASSERT_EQ(dialogs.entries.size(), 1u) << c.name;
            EXPECT_EQ(dialogs.entries[0].kind, DialogRecorder::Kind::Question) << c.name;
            EXPECT_EQ(dialogs.entries[0].caption, QString()) << c.name;
            EXPECT_EQ(dialogs.entries[0].text, question) << c.name;
        }
        if (c.answers != 0) {
            EXPECT_TRUE(panelShown()) << c.name;
            EXPECT_EQ(form->Label6->text(), QStringLiteral("      КЛЮЧ ЗАПИСАН")) << c.name;
            EXPECT_TRUE(writeFrames().empty()) << c.name;
            EXPECT_EQ(cell(c.column, c.row), KeyTexts::present()) << c.name;
        } else {
            EXPECT_FALSE(panelShown()) << c.name;
            ASSERT_EQ(writeFrames().size(), 1u) << c.name << ": one try";
            EXPECT_EQ(writeFrames()[0].bytes, c.decline) << c.name;
            // The device took the key back to where it was, and the table shows it.
            EXPECT_EQ(cell(c.column, c.row), KeyTexts::absent()) << c.name;
            const int column = c.recordedSlot / 30 + 1, row = c.recordedSlot % 30 + 1;
            EXPECT_EQ(cell(column, row), c.recordedThree ? KeyTexts::threeExpanders() : KeyTexts::present())
                << c.name;
        }
        EXPECT_EQ(device.framesOf(2).size(), 3u) << c.name << ": refreshed";
        EXPECT_TRUE(form->Timer1->isActive()) << c.name;
        (void)slot;
    }
}

// The refresh after a report, a declined re-programming or a deletion hands the port back (the
// device refuses the table read after a control unit granted access): the hidden window's timer
// stays off, so that it never listens on the port the main window uses now.
TEST_F(KeyWindow, HandBackAfterAnExchangeLeavesTheTimerOff) {
    struct Case {
        const char* name;
        std::function<void()> exchange;
    };
    const Case cases[] = {
        {"a report with the panel hidden",
         [this] {
             device.touchNewKey();
             form->Timer1Timer();
         }},
        {"a report that confirms a write",
         [this] {
             ASSERT_NO_FATAL_FAILURE(armWrite(1, 1));
             device.touchNewKey();
             form->Timer1Timer();
         }},
        {"a report declined with No",
         [this] {
             ASSERT_NO_FATAL_FAILURE(armWrite(1, 1));
             dialogs.answers.push_back(false);
             device.touchKeyRecordedIn(40);
             form->Timer1Timer();
         }},
        {"a deletion",
         [this] {
             clickCell(1, 1);
             form->Button4Click();
         }},
    };
    for (const Case& c : cases) {
        TearDown();
        SetUp();
        ASSERT_NO_FATAL_FAILURE(grantAccessOnce());
        device.setSingleKey(40, true);
        ASSERT_NO_FATAL_FAILURE(choosePort());
        form->startTimer();
        int mainSelections = 0;
        form->showMainWindow = [](QPoint, int) {};
        form->runMainPortSelection = [&] { ++mainSelections; };
        KeyDeviceSim::Fault refused;
        refused.command = 2;
        refused.status = 4;
        refused.times = -1;
        device.addFault(refused);

        c.exchange();

        EXPECT_EQ(mainSelections, 1) << c.name;
        EXPECT_FALSE(form->isVisible()) << c.name;
        EXPECT_FALSE(form->Timer1->isActive()) << c.name;
    }
}

TEST_F(KeyWindow, ReportWhilePanelHiddenOnlyRefreshes) {
    ASSERT_NO_FATAL_FAILURE(choosePort());
    clickCell(3, 3);
    device.setSingleKey(7, true); // put there behind the window's back
    device.clearFrames();
    device.touchKeyRecordedIn(7);
    form->Timer1Timer();
    EXPECT_TRUE(dialogs.entries.empty());
    EXPECT_FALSE(panelShown());
    EXPECT_TRUE(writeFrames().empty());
    EXPECT_EQ(device.framesOf(2).size(), 3u);
    EXPECT_EQ(cell(1, 8), KeyTexts::present());
    EXPECT_TRUE(form->Timer1->isActive());
}

TEST_F(KeyWindow, TenTicksWithoutAKeyCancel) {
    ASSERT_NO_FATAL_FAILURE(choosePort());
    ASSERT_NO_FATAL_FAILURE(armWrite(1, 1));
    device.clearFrames();
    for (int tick = 1; tick <= 9; ++tick) {
        form->Timer1Timer();
        EXPECT_EQ(form->ProgressBar1->value(), tick);
    }
    EXPECT_TRUE(writeFrames().empty());
    EXPECT_TRUE(panelShown());

    // The device refuses the first cancel: the panel stays at 10 and the cancel is sent again at
    // the next tick.
    KeyDeviceSim::Fault refused;
    refused.command = 3;
    refused.status = 4;
    refused.times = 3;
    device.addFault(refused);
    form->Timer1Timer();
    EXPECT_EQ(writeFrames().size(), 3u);
    EXPECT_TRUE(panelShown());
    EXPECT_EQ(form->ProgressBar1->value(), 10);
    form->Timer1Timer();
    ASSERT_EQ(writeFrames().size(), 4u);
    EXPECT_EQ(writeFrames()[3].bytes, request(3, 0xFF, 0, 0, 0));
    EXPECT_FALSE(panelShown());
    EXPECT_FALSE(device.pending().armed);
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_TRUE(dialogs.entries.empty());
}

TEST_F(KeyWindow, CancelAndDeleteButtons) {
    device.setThreeExpanderKey(1, 12, true);
    device.setSingleKey(11, true);
    device.setSingleKey(150, true);
    ASSERT_NO_FATAL_FAILURE(choosePort());
    ASSERT_EQ(cell(1, 12), KeyTexts::threeExpanders());

    ASSERT_NO_FATAL_FAILURE(armWrite(1, 1));
    device.clearFrames();
    QTest::mouseClick(form->Button5, Qt::LeftButton);
    ASSERT_EQ(writeFrames().size(), 1u);
    EXPECT_EQ(writeFrames()[0].bytes, request(3, 0xFF, 0, 0, 0));
    EXPECT_FALSE(panelShown());
    EXPECT_TRUE(form->Timer1->isActive());

    struct Case {
        const char* name;
        int column, row;
        uint8_t slot;
        QString after;
    };
    const Case cases[] = {
        {"the cell that shows the three-expander key", 1, 12, 11, KeyTexts::present()},
        {"the single-expander key left", 1, 12, 11, KeyTexts::absent()},
        {"expander 3, key 2", 6, 1, 150, KeyTexts::absent()},
    };
    for (const Case& c : cases) {
        ASSERT_NO_FATAL_FAILURE(armWrite(5, 5));
        form->Timer1->stop();
        clickCell(c.column, c.row);
        device.clearFrames();
        QTest::mouseClick(form->Button4, Qt::LeftButton); // no question asked
        ASSERT_GE(writeFrames().size(), 1u) << c.name;
        EXPECT_EQ(writeFrames()[0].bytes, request(3, c.slot, 0xFF, 0, 0)) << c.name;
        EXPECT_FALSE(panelShown()) << c.name;
        EXPECT_EQ(device.framesOf(2).size(), 3u) << c.name << ": refreshed";
        EXPECT_EQ(cell(c.column, c.row), c.after) << c.name;
        EXPECT_TRUE(form->Timer1->isActive()) << c.name;
    }
    EXPECT_TRUE(dialogs.entries.empty());
}

TEST_F(KeyWindow, DeleteNotAcceptedKeepsThePanel) {
    ASSERT_NO_FATAL_FAILURE(choosePort());
    ASSERT_NO_FATAL_FAILURE(armWrite(1, 2));
    KeyDeviceSim::Fault silent;
    silent.command = 3;
    silent.silent = true;
    silent.times = -1;
    device.addFault(silent);
    device.clearFrames();
    form->Button4Click();
    EXPECT_EQ(writeFrames().size(), 3u);
    EXPECT_TRUE(panelShown());
    EXPECT_TRUE(device.framesOf(2).empty()) << "no refresh";
    EXPECT_TRUE(dialogs.entries.empty());
}

// --- the timer and other exchanges ------------------------------------------------------------------------

TEST_F(KeyWindow, TimerDoesNothingWithoutPort) {
    form->show();
    form->Panel1->show();
    form->ProgressBar1->setValue(3);
    form->Timer1Timer();
    EXPECT_EQ(form->ProgressBar1->value(), 3);
    EXPECT_TRUE(device.frames().empty());
}

TEST_F(KeyWindow, NoTickOrClickRunsInsideAnotherExchange) {
    ASSERT_NO_FATAL_FAILURE(choosePort());
    ASSERT_NO_FATAL_FAILURE(armWrite(1, 1));
    // The cancel's reply comes late; meanwhile a tick falls and the user clicks "Удалить".
    KeyDeviceSim::Fault late;
    late.command = 3;
    late.delayMs = 150;
    device.addFault(late);
    device.clearFrames();
    form->ProgressBar1->setValue(4);
    bool tickRan = false;
    clock.at(40, [&] {
        form->Timer1Timer();
        tickRan = true;
    });
    clock.at(60, [&] { QTest::mouseClick(form->Button4, Qt::LeftButton); });
    form->Button5Click();
    EXPECT_TRUE(tickRan);
    EXPECT_EQ(form->ProgressBar1->value(), 4) << "the tick did nothing";

    // The click ran once the cancel was over: its request follows the cancel's reply.
    for (int i = 0; i < 100 && writeFrames().size() < 2; ++i)
        QTest::qWait(10);
    const auto frames = writeFrames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].bytes, request(3, 0xFF, 0, 0, 0));
    EXPECT_EQ(frames[1].bytes, request(3, 0, 0xFF, 0, 0));
    EXPECT_GE(frames[1].atMs - frames[0].atMs, 150u);
}

TEST_F(KeyWindow, DeviceThatDisappears) {
    ASSERT_NO_FATAL_FAILURE(choosePort());
    ASSERT_NO_FATAL_FAILURE(armWrite(1, 1));
    device.stop();
    form->Timer1Timer();
    EXPECT_FALSE(Link::portOpen()) << "the port is closed once the line is gone";
    form->Timer1Timer();
    form->Button3Click();
    form->Button5Click();
    EXPECT_TRUE(dialogs.entries.empty());
}

// --- descriptions file through the window -----------------------------------------------------------------

TEST_F(KeyWindow, SaveAndLoadDescriptions) {
    device.setSingleKey(KeyLink::slotOf(1, 2, 5), true);
    device.setThreeExpanderKey(2, 12, true);
    device.setSingleKey(KeyLink::slotOf(2, 3, 30), true);
    ASSERT_NO_FATAL_FAILURE(choosePort());
    form->KeyDescriptions[size_t(KeyLink::slotOf(1, 2, 5))] = QString();
    form->KeyDescriptions[101] = QStringLiteral("  Вахта, пост №2 ");
    form->KeyDescriptions[size_t(KeyLink::slotOf(2, 3, 30))] = QStringLiteral("на три расш.?");
    form->KeyDescriptions[5] = QStringLiteral("no key here");

    QTemporaryDir files;
    dialogs.fileNames.push_back(files.filePath("list.doc"));
    QTest::mouseClick(form->Button6, Qt::LeftButton);
    ASSERT_EQ(dialogs.entries.size(), 1u);
    EXPECT_EQ(dialogs.entries[0].kind, DialogRecorder::Kind::SaveFile);
    EXPECT_EQ(dialogs.entries[0].text, QStringLiteral("Текстовые файлы (*.txt)|*.txt"));
    EXPECT_EQ(dialogs.entries[0].folder, dialogStartFolder());
    EXPECT_FALSE(QFile::exists(files.filePath("list.doc")));
    QFile saved(files.filePath("list.txt"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(fromCp1251(saved.readAll()), QStringLiteral("Задействованы следующие ключи:\r\n"
                                                          "на три расш. польз.12 ключ2    Вахта, пост №2 \r\n"
                                                          "расш.2 польз.5  ключ1  \r\n"
                                                          "расш.3 польз.30 ключ2  на три расш.?\r\n"));
    EXPECT_TRUE(form->StringGrid1->hasFocus());

    // Loading through the menu item: listed slots get their texts back, others keep theirs.
    form->KeyDescriptions.fill(QStringLiteral("changed"));
    clickCell(4, 12);
    dialogs.clear();
    dialogs.fileNames.push_back(files.filePath("list.txt"));
    form->N2->trigger();
    ASSERT_EQ(dialogs.entries.size(), 1u);
    EXPECT_EQ(dialogs.entries[0].kind, DialogRecorder::Kind::OpenFile);
    EXPECT_EQ(dialogs.entries[0].text, QStringLiteral("Текстовые файлы (*.txt)|*.txt"));
    EXPECT_EQ(form->KeyDescriptions[101], QStringLiteral("  Вахта, пост №2 "));
    EXPECT_EQ(form->KeyDescriptions[size_t(KeyLink::slotOf(1, 2, 5))], QString());
    // A single-expander line whose description holds "на три расш." goes to expander 1.
    EXPECT_EQ(form->KeyDescriptions[size_t(KeyLink::slotOf(2, 1, 30))], QStringLiteral("на три расш.?"));
    EXPECT_EQ(form->KeyDescriptions[size_t(KeyLink::slotOf(2, 3, 30))], QStringLiteral("changed"));
    EXPECT_EQ(form->KeyDescriptions[5], QStringLiteral("changed"));
    EXPECT_EQ(form->Edit4->text(), QStringLiteral("  Вахта, пост №2 ")) << "the field shows the current cell";
    EXPECT_EQ(cell(4, 12), KeyTexts::threeExpanders()) << "the grid is not touched";
}

TEST_F(KeyWindow, FileDialogsCancelledAndFileErrors) {
    form->show();
    clickCell(1, 1);
    QTemporaryDir files;

    // Cancelled: nothing written; loading still refreshes the field.
    form->N3->trigger();
    EXPECT_TRUE(QDir(files.path()).isEmpty());
    form->KeyDescriptions[0] = QStringLiteral("set by program");
    form->Button7Click();
    EXPECT_EQ(form->Edit4->text(), QStringLiteral("set by program"));
    EXPECT_TRUE(dialogs.texts().isEmpty());

    // A save that cannot be written.
    dialogs.fileNames.push_back(files.filePath("no/such/folder/k.txt"));
    form->Button6Click();
    ASSERT_EQ(dialogs.texts(), QStringList{QStringLiteral("Ошибка записи")});
    EXPECT_EQ(dialogs.entries.back().caption, QString());

    // A load that cannot be read; what was there stays.
    dialogs.clear();
    dialogs.fileNames.push_back(files.path());
    form->Edit4->setText(QStringLiteral("unchanged"));
    form->Button7Click();
    ASSERT_EQ(dialogs.texts(), QStringList{QStringLiteral("Ошибка чтения")});
    EXPECT_EQ(dialogs.entries.back().caption, QString());
    EXPECT_EQ(form->Edit4->text(), QStringLiteral("unchanged"))
        << "the field is not refreshed after an error";
    EXPECT_EQ(form->KeyDescriptions[0], QStringLiteral("set by program"));
}

// --- closing
// ------------------------------------------------------------------------------------------------

TEST_F(KeyWindow, ClosingEndsTheProgram) {
    struct Case {
        const char* name;
        bool menu;
    };
    for (const Case c : {Case{"system close box", false}, Case{"\"Выход\"", true}}) {
        TearDown();
        SetUp();
        ASSERT_NO_FATAL_FAILURE(choosePort());
        ASSERT_TRUE(Link::portOpen());
        if (c.menu)
            form->N4->trigger();
        else
            form->close();
        EXPECT_FALSE(Link::portOpen()) << c.name;
        EXPECT_TRUE(Clock::terminating()) << c.name;
        EXPECT_FALSE(form->isVisible()) << c.name;
    }
}

TEST_F(KeyWindow, DemonstrationDeviceTouchesAKeyByItself) {
    device.setAutoTouchMs(30);
    ASSERT_NO_FATAL_FAILURE(choosePort());
    ASSERT_NO_FATAL_FAILURE(armWrite(3, 9));
    QTest::qWait(80);
    form->Timer1Timer();
    EXPECT_EQ(form->Label6->text(), QStringLiteral("      КЛЮЧ ЗАПИСАН"));
    EXPECT_TRUE(device.singleKey(KeyLink::slotOf(1, 3, 9)));
    EXPECT_EQ(cell(3, 9), KeyTexts::present());
    EXPECT_EQ(device.reportsSent(), 1);
}

// Every caption of the window fits its control with the face the window found (the narrow face,
// Arial's widths, or the narrowed wide face).
TEST_F(KeyWindow, CaptionsFitTheirControls) {
    form->show();
    QCoreApplication::processEvents();
    int checked = 0;
    for (QWidget* w : form->findChildren<QWidget*>()) {
        if (!w->isVisible()) continue;
        QString text;
        int needed = 0;
        int room = w->width();
        if (auto* label = qobject_cast<QLabel*>(w); label && !label->wordWrap()) {
            text = label->text();
            needed = w->fontMetrics().horizontalAdvance(text);
            room = label->contentsRect().width();
        } else if (qobject_cast<QPushButton*>(w)) {
            text = static_cast<QPushButton*>(w)->text();
            needed = w->fontMetrics().horizontalAdvance(text) + 8;
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            text = button->text();
            needed = w->sizeHint().width();
        }
        if (text.isEmpty()) continue;
        ++checked;
        EXPECT_LE(needed, room) << w->objectName().toStdString() << " \"" << text.toStdString() << "\" in "
                                << w->font().family().toStdString();
    }
    EXPECT_GT(checked, 3);
}

// The key window's exchanges at every timing a real line produces: the device's reply to the table
// reads or to "arm" late by offsets up to 450 ms, sent twice up to 250 ms apart, or in pieces across
// a deadline. Listening then hears no key that nobody touched, and a key touched afterwards is
// written; the grid shows what the device holds. The suite's sweep gives each exchange every third
// 5 ms step from its own phase; ORTEX_WIDE_SWEEP=1 gives each all of them.
TEST_F(KeyWindow, TimingSweepTakesNoReplyForAKeyReport) {
    const char* wide = std::getenv("ORTEX_WIDE_SWEEP");
    const unsigned stride = wide && std::string(wide) == "1" ? 5 : 15;
    struct Exchange {
        const char* name;
        int command, parameter1;
    };
    const Exchange exchanges[] = {{"arm", 3, -1}, {"first table", 2, 0}, {"three-expander table", 2, 2}};
    int phase = 0;
    for (const Exchange& e : exchanges) {
        const unsigned first = stride == 5 ? 0 : 5 * unsigned(phase++ % 3);
        std::vector<KeyDeviceSim::Fault> timings;
        for (unsigned d = first; d <= 450; d += stride) {
            KeyDeviceSim::Fault f;
            f.delayMs = d;
            timings.push_back(f);
        }
        for (unsigned g = first; g <= 250; g += stride)
            for (unsigned d : {0u, 250u}) {
                KeyDeviceSim::Fault f;
                f.delayMs = d;
                f.twice = true;
                f.repeatAfterMs = g;
                timings.push_back(f);
            }
        for (unsigned d : {185u, 195u}) {
            KeyDeviceSim::Fault f;
            f.delayMs = d;
            f.pieceSize = 5;
            f.piecePauseMs = 10;
            timings.push_back(f);
        }
        for (KeyDeviceSim::Fault f : timings) {
            const std::string at = std::string(e.name) + ", late " + std::to_string(f.delayMs) + " ms" +
                                   (f.twice ? ", twice " + std::to_string(f.repeatAfterMs) + " ms apart" : "") +
                                   (f.pieceSize ? ", in pieces" : "");
            TearDown();
            SetUp();
            device.setSingleKey(40, true);
            f.command = e.command;
            f.parameter1 = e.parameter1;
            f.times = 2;
            device.addFault(f);
            ASSERT_NO_FATAL_FAILURE(choosePort()) << at;
            clickCell(2, 4); // slot 33
            form->Button3Click();
            for (int tick = 0; tick < 3; ++tick) {
                Link::WaitMs(1000);
                form->Timer1Timer();
            }
            EXPECT_TRUE(dialogs.entries.empty()) << at;
            EXPECT_NE(form->Label6->text(), QStringLiteral("      КЛЮЧ ЗАПИСАН")) << at << ": no key was touched";
            if (!panelShown()) continue; // the arm was not confirmed in time: nothing to write
            device.touchNewKey();
            form->Timer1Timer();
            EXPECT_EQ(form->Label6->text(), QStringLiteral("      КЛЮЧ ЗАПИСАН")) << at;
            EXPECT_TRUE(dialogs.entries.empty()) << at;
            for (int slot : {33, 40})
                EXPECT_EQ(cell(slot / 30 + 1, slot % 30 + 1), KeyTexts::present()) << at << ", slot " << slot;
            if (HasFailure()) return;
        }
    }
}

} // namespace
