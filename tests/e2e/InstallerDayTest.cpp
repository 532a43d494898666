// An installer's day through the program's real windows, against the simulated control unit and
// key-programming device on pseudo-terminals: discovery, reading, editing every page, saving,
// opening the file for another expander, programming it; then writing a key and its description.
#include "ProgramFixture.h"
#include "journal/JournalModel.h"
#include "journal/JournalWindow.h"
#include "journal/Recorder.h"
#include "journal/RowText.h"

#include "app/MainForm.h"
#include "app/ProgramWindows.h"
#include "base/Clock.h"
#include "base/GridCells.h"
#include "base/Text1251.h"
#include "config/Codes.h"
#include "device/ExpanderFrames.h"
#include "keys/KeyFrames.h"
#include "keys/TMprogrammer.h"
#include "link/Access.h"
#include "link/Link.h"
#include "link/PortNames.h"
#include "sim/DemoDevices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <map>

namespace {

using input::clickCell;
using input::doubleClickCell;
using input::waitFor;

void replaceText(QWidget* box, const QString& text) {
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    input::typeText(box, text);
}

std::string cp1251(const QString& text) {
    return toCp1251(text).toStdString();
}

class InstallerDay : public ProgramOnDemoDevices {
  protected:
    void showPage(QWidget* page) { main->PageControl1->setCurrentWidget(page); }
    // Each page of the main window as it stands, to <build>/screens/<name>-<page>.png.
    void savePictures(const QString& name) {
        QDir screens(QCoreApplication::applicationDirPath() + "/..");
        ASSERT_TRUE(screens.mkpath("screens") && screens.cd("screens"));
        QWidget* current = main->PageControl1->currentWidget();
        const char* pages[] = {"general", "loops", "partitions", "users"};
        for (int i = 0; i < 4; ++i) {
            main->PageControl1->setCurrentIndex(i);
            EXPECT_TRUE(main->grab().save(screens.filePath(name + "-" + pages[i] + ".png")));
        }
        main->PageControl1->setCurrentWidget(current);
    }
};

TEST_F(InstallerDay, ReadEditSaveOpenForAnotherExpanderAndProgramIt) {
    ASSERT_EQ(main->ComboBox1->count(), 2);
    EXPECT_EQ(main->ComboBox1->itemText(0), "COM1");
    EXPECT_EQ(main->ComboBox1->currentIndex(), -1);

    // The port, with the access code and the engineer code typed in one line.
    QTest::keyClicks(main->Edit1, "12345678");
    chooseItem(main->ComboBox1, 0);
    ASSERT_EQ(main->ComboBox2->count(), 3) << dialogs.texts().join(" | ").toStdString();
    EXPECT_EQ(main->ComboBox2->itemText(0), "Расширитель 1");
    EXPECT_EQ(main->ComboBox2->itemText(2), "Расширитель 5");
    EXPECT_TRUE(main->ComboBox1->isEnabled());
    EXPECT_TRUE(main->ComboBox2->isEnabled());

    // Expander 1 was read at once onto all four pages.
    QTableWidget* loops = main->StringGrid1;
    EXPECT_EQ(cellText(loops, 1, 1), "Охранный");
    EXPECT_EQ(cellText(loops, 1, 20), "Входная дверь");
    EXPECT_EQ(cellText(loops, 2, 20), "Гостиная окна");
    EXPECT_EQ(cellText(loops, 8, 1), "Тепловой пожарный");
    EXPECT_EQ(cellText(loops, 8, 8), "8");
    EXPECT_EQ(cellText(main->StringGrid2, 1, 1), "10");
    EXPECT_EQ(cellText(main->StringGrid3, 3, 2), "+"); // user 2, loop 2
    EXPECT_TRUE(main->CheckBox1->isChecked());
    EXPECT_TRUE(dialogs.entries.empty()) << dialogs.texts().join(" | ").toStdString();
    savePictures("day-expander1");
    {
        // The journal of that read, as the installer sees it beside the main window.
        Journal::JournalWindow& journal = Journal::showJournalWindow();
        QTest::qWait(1200); // new rows are drawn once the line has been quiet a moment
        EXPECT_GT(journal.model()->rowCount(), 40);
        EXPECT_TRUE(
            journal.grab().save(QCoreApplication::applicationDirPath() + "/../screens/day-journal.png"));
        journal.hide();
        main->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(main));
    }

    // General properties: CheckBox1 cleared.
    showPage(main->TabSheet1);
    QTest::mouseClick(main->CheckBox1, Qt::LeftButton);
    EXPECT_FALSE(main->CheckBox1->isChecked());

    // Loop properties: relay of loop 1 off, loop 2 becomes a smoke loop with pair number 5, the
    // description of loop 3 typed anew.
    showPage(main->TabSheet2);
    doubleClickCell(loops, 1, 2);
    EXPECT_EQ(cellText(loops, 1, 2), "");
    doubleClickCell(loops, 2, 1);
    ASSERT_TRUE(main->ComboBox4->isVisible());
    chooseItem(main->ComboBox4, 0);
    EXPECT_EQ(cellText(loops, 2, 1), "Дымовой пожарный");
    EXPECT_EQ(cellText(loops, 2, 8), "3"); // the stored low bits, under the new type
    clickCell(loops, 5, 5);                // the list loses the focus
    doubleClickCell(loops, 2, 8);
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    replaceText(QApplication::focusWidget(), "5");
    clickCell(loops, 5, 5);
    EXPECT_EQ(cellText(loops, 2, 8), "5");
    doubleClickCell(loops, 3, 20);
    replaceText(QApplication::focusWidget(), "Окно зала");
    clickCell(loops, 5, 5);
    EXPECT_EQ(cellText(loops, 3, 20), "Окно зала");

    // Global partitions: partition 3 gets every loop, number 77 and code 001B.
    showPage(main->TabSheet3);
    QTableWidget* partitions = main->StringGrid2;
    doubleClickCell(partitions, 3, 0);
    doubleClickCell(partitions, 3, 1);
    ASSERT_TRUE(main->Edit2->isVisible());
    replaceText(main->Edit2, "77");
    QTest::keyClick(main->Edit2, Qt::Key_Return);
    EXPECT_FALSE(main->Edit2->isVisible());
    doubleClickCell(partitions, 3, 10);
    replaceText(main->Edit2, "1b");
    QTest::keyClick(main->Edit2, Qt::Key_Return);
    EXPECT_EQ(cellText(partitions, 3, 1), "77");
    EXPECT_EQ(cellText(partitions, 3, 10), "001B");

    // Users: user 4 gets loop 1 and code 4321.
    showPage(main->TabSheet4);
    QTableWidget* users = main->StringGrid3;
    doubleClickCell(users, 5, 1);
    doubleClickCell(users, 5, 9);
    ASSERT_TRUE(main->Edit3->isVisible());
    replaceText(main->Edit3, "4321");
    QTest::keyClick(main->Edit3, Qt::Key_Return);
    EXPECT_EQ(cellText(users, 5, 9), "4321");

    // "Сохранить".
    const QString saved = folder.filePath("flat.okf");
    dialogs.fileNames.push_back(saved);
    main->N4->trigger();
    ASSERT_TRUE(QFile::exists(saved)) << dialogs.texts().join(" | ").toStdString();

    // Expander 5, then "Открыть" with the saved file, then "Записать в расширитель".
    chooseItem(main->ComboBox2, 2);
    EXPECT_EQ(main->config.address, 5);
    EXPECT_EQ(cellText(loops, 8, 20), "Участок");
    dialogs.fileNames.push_back(saved);
    main->N3->trigger();
    EXPECT_TRUE(main->config.loadedFromFile);
    EXPECT_EQ(cellText(loops, 3, 20), "Окно зала");
    dialogs.clear();
    QTest::mouseClick(main->Button1, Qt::LeftButton);
    ASSERT_EQ(dialogs.texts(), QStringList{"Программирование расширителя успешно завершено"});
    EXPECT_FALSE(main->config.loadedFromFile);

    // The simulated expander 5 holds exactly the edited configuration of expander 1.
    const sim::ControlUnitSim::Expander e = devices.controlUnit.expander(5);
    const std::array<uint8_t, 18> parameters{0x28, 0x44, 0x00, 0x81, 0x84, 0x01, 0x00, 0x01, 0x22,
                                             0x03, 0x80, 0x50, 0x80, 0x10, 0x41, 0x80, 0xC7, 0x01};
    EXPECT_EQ(e.parameters, parameters);
    const std::array<uint8_t, 8> masks{0x0F, 0x30, 0xFF, 0, 0, 0, 0, 0};
    const std::array<uint8_t, 8> numbers{10, 11, 77, 0, 0, 0, 0, 0};
    EXPECT_EQ(e.partitionMasks, masks);
    EXPECT_EQ(e.partitionNumbers, numbers);
    for (int p = 1; p <= 8; ++p)
        EXPECT_EQ(e.partitionCodes[p - 1], p == 3 ? 0x001B : defaultPartitionCode(p)) << "partition " << p;
    const std::map<int, uint8_t> userMasks{{0, 0xFF}, {1, 0x0F}, {2, 0x3F}, {3, 0x01}, {4, 0x01}};
    for (int u = 0; u <= 30; ++u) {
        EXPECT_EQ(e.userMasks[u], userMasks.count(u) ? userMasks.at(u) : 0) << "user " << u;
        const uint16_t code = u == 0 ? kUserZeroCode : u == 4 ? 0x4321 : defaultUserCode(u);
        EXPECT_EQ(e.userCodes[u], code) << "user " << u;
    }
    // Descriptions: standard names by their codes, texts under the lowest free numbers, no
    // description as 255.
    const auto table = devices.controlUnit.descriptorTable();
    const std::array<uint8_t, 8> slotCodes{163, 6, 7, 168, 8, 255, 9, 255};
    for (int n = 0; n < 8; ++n)
        EXPECT_EQ(table[5 * 8 + n], slotCodes[n]) << "loop " << n + 1;
    EXPECT_EQ(devices.controlUnit.descriptorText(6), cp1251("Гостиная окна"));
    EXPECT_EQ(devices.controlUnit.descriptorText(7), cp1251("Окно зала"));
    EXPECT_EQ(devices.controlUnit.descriptorText(8), cp1251("Дымовые коридор"));
    EXPECT_EQ(devices.controlUnit.descriptorText(9), cp1251("Тревожная кнопка"));
    // Expander 1 was left as it was.
    EXPECT_EQ(devices.controlUnit.expander(1).parameters, sim::demoExpander(1).parameters);
}

// The hand-over, as the journal shows it: one row for every frame either device got or sent, the key
// device's signature whole in one row, and the key window's replies, which carry no code, whole.
TEST_F(InstallerDay, HandOverToTheKeyWindowJournaledFrameByFrame) {
    Journal::Recorder& journal = Journal::recorder();
    journal.clear();
    const uint64_t from = journal.endSeq();
    QTest::keyClicks(main->Edit1, "12345678");
    chooseItem(main->ComboBox1, 1);
    ASSERT_TRUE(waitFor([&] { return cellText(keys->StringGrid1, 1, 1) == "Есть"; }, 5000));
    Link::WaitMs(1500); // every reply in, and the journal's view of the last exchange settled
    journal.settle();

    int requests = 0, replies = 0, signatures = 0, keyReplies = 0;
    for (uint64_t seq = from; seq < journal.endSeq(); ++seq) {
        const Journal::Row& row = journal.row(seq);
        if (row.kind == Journal::Kind::Request) ++requests;
        if (row.kind != Journal::Kind::Reply) continue;
        ++replies;
        SCOPED_TRACE(Journal::rowLine(journal, row, false).toStdString());
        EXPECT_EQ(row.verdict, Journal::Verdict::Ok);
        EXPECT_FALSE(row.anyMasked());
        if (Journal::rowLine(journal, row, false).contains("Сигнатура БКУ")) {
            ++signatures;
            EXPECT_EQ(row.count, 39);
        } else {
            ++keyReplies;
        }
    }
    EXPECT_EQ(requests, int(devices.keyDevice.frames().size()));
    EXPECT_EQ(replies, devices.keyDevice.repliesSent());
    EXPECT_EQ(signatures, int(devices.keyDevice.framesOf(0).size())); // one for each access request
    EXPECT_EQ(keyReplies, 3); // the three tables
}

// After the access step, which carries the codes, the control unit's answers that carry none show
// whole: the tables' blocks, the expander's parameters.
TEST_F(InstallerDay, AnswersWithoutCodesShowWholeAfterTheAccessStep) {
    Journal::Recorder& journal = Journal::recorder();
    journal.clear();
    const uint64_t from = journal.endSeq();
    ASSERT_NO_FATAL_FAILURE(connectToControlUnit());
    int whole = 0;
    for (uint64_t seq = from; seq < journal.endSeq(); ++seq) {
        const Journal::Row& row = journal.row(seq);
        if (row.kind != Journal::Kind::Reply || !(row.asked == 5 || row.asked == 6 || row.askedSub == 0x55)) continue;
        SCOPED_TRACE(Journal::rowLine(journal, row, false).toStdString());
        EXPECT_FALSE(row.anyMasked());
        EXPECT_EQ(row.verdict, Journal::Verdict::Ok);
        ++whole;
    }
    EXPECT_GE(whole, 8 + 16 + 1);
}

TEST_F(InstallerDay, WriteAKeyDescribeItSaveAndLoadAndGoBack) {
    // The key-programming device answers the main window's access step: the key window takes over.
    QTest::keyClicks(main->Edit1, "12345678");
    chooseItem(main->ComboBox1, 1);
    ASSERT_TRUE(waitFor([&] { return keys->isVisible(); }, 5000));
    EXPECT_FALSE(main->isVisible());
    EXPECT_EQ(keys->ComboBox1->currentIndex(), 1);
    ASSERT_TRUE(waitFor([&] { return cellText(keys->StringGrid1, 1, 1) == "Есть"; }, 5000));
    EXPECT_EQ(cellText(keys->StringGrid1, 1, 5), "На три расш.");
    EXPECT_EQ(cellText(keys->StringGrid1, 5, 3), "Нет");

    // Key 2 of user 3 of expander 2.
    clickCell(keys->StringGrid1, 5, 3);
    QTest::mouseClick(keys->Button3, Qt::LeftButton);
    ASSERT_TRUE(keys->Panel1->isVisible());
    EXPECT_EQ(keys->Label6->text(), TTMwriteForm::kTouchKeyText);
    devices.keyDevice.touchNewKey();
    ASSERT_TRUE(waitFor([&] { return keys->Label6->text() == TTMwriteForm::kKeyWrittenText; }, 5000));
    EXPECT_EQ(keys->Label6->text(), "      КЛЮЧ ЗАПИСАН");
    const int slot = KeyLink::slotOf(2, 2, 3);
    EXPECT_TRUE(devices.keyDevice.singleKey(slot));
    ASSERT_TRUE(waitFor([&] { return cellText(keys->StringGrid1, 5, 3) == "Есть"; }, 3000));

    // Its description, saved and loaded back.
    clickCell(keys->StringGrid1, 5, 3);
    input::typeText(keys->Edit4, "Ключ кладовщика");
    EXPECT_EQ(keys->KeyDescriptions[slot], "Ключ кладовщика");
    const QString file = folder.filePath("keys.txt");
    dialogs.fileNames.push_back(file);
    QTest::mouseClick(keys->Button6, Qt::LeftButton);
    QFile saved(file);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().contains(toCp1251("расш.2 польз.3  ключ2  Ключ кладовщика\r\n")));
    saved.close();
    QTest::keyClick(keys->Edit4, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(keys->Edit4, Qt::Key_Backspace);
    EXPECT_EQ(keys->KeyDescriptions[slot], "");
    dialogs.fileNames.push_back(file);
    QTest::mouseClick(keys->Button7, Qt::LeftButton);
    EXPECT_EQ(keys->KeyDescriptions[slot], "Ключ кладовщика");
    EXPECT_EQ(keys->Edit4->text(), "Ключ кладовщика");

    // "МПК" back to the main window, with the same port chosen.
    keys->N5->trigger();
    ASSERT_TRUE(waitFor([&] { return main->isVisible() && !keys->isVisible(); }, 3000));
    EXPECT_EQ(main->ComboBox1->currentIndex(), 1);
    EXPECT_EQ(main->pos(), keys->pos());
    EXPECT_FALSE(keys->Timer1->isActive());
}

} // namespace

namespace {

// The key window chosen on the control unit's port: its first table read finds the control unit, and
// the program goes back to the main window, which selects that port itself.
TEST_F(InstallerDay, KeyWindowOnTheControlUnitsPortHandsBackToTheMainWindow) {
    QTest::keyClicks(main->Edit1, "12345678");
    chooseItem(main->ComboBox1, 1); // the key-programming device: the key window takes over
    ASSERT_TRUE(waitFor([&] { return keys->isVisible(); }, 5000));

    chooseItem(keys->ComboBox1, 0); // COM1: the control unit answers the table read with 6/7
    ASSERT_TRUE(waitFor([&] { return main->isVisible() && !keys->isVisible(); }, 5000));
    EXPECT_EQ(main->ComboBox1->currentIndex(), 0);
    EXPECT_EQ(main->ComboBox2->count(), 3) << dialogs.texts().join(" | ").toStdString();
    EXPECT_EQ(cellText(main->StringGrid1, 1, 20), "Входная дверь");
    EXPECT_FALSE(dialogs.texts().contains("Нет ответа"));
}

} // namespace
