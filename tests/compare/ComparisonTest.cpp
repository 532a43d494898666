// The comparison through the program's windows on the demonstration devices: with the expander (the
// read's own frames, nothing in the window or the record changed, then the write and the comparison
// again), a comparison that cannot be made, and the comparison with a file.

#include "tests/e2e/ProgramFixture.h"

#include "base/GridCells.h"
#include "base/Text1251.h"
#include "compare/Comparison.h"
#include "device/ExpanderFrames.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>

namespace {

using Compare::ComparisonWindow;

class Comparison : public ProgramOnDemoDevices {
  protected:
    QAction* item(const char* name) const { return main->findChild<QAction*>(QLatin1String(name)); }
    ComparisonWindow* window() const { return main->findChild<ComparisonWindow*>(); }
    bool windowShown() const { return window() && window()->isVisible(); }

    // Everything the comparison must leave alone: the record with its flags, and every control that
    // shows or chooses the configuration.
    QStringList state() const {
        const ExpanderConfig& r = main->config;
        QStringList s{
            QString::number(r.address),
            QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(r.parameters.data()), 18).toHex()),
            QString::number(r.loadedFromFile), QString::number(r.codesRead), QString::number(r.extraCode)};
        for (const QString& text : r.loopDescriptions)
            s << text;
        for (const UserEntry& u : r.users)
            s << QStringLiteral("%1/%2").arg(u.loopMask).arg(u.code);
        for (const PartitionEntry& p : r.globalPartitions)
            s << QStringLiteral("%1/%2/%3").arg(p.globalNumber).arg(p.loopMask).arg(p.code);
        for (QTableWidget* grid : {main->StringGrid1, main->StringGrid2, main->StringGrid3})
            for (int c = 0; c < grid->columnCount(); ++c)
                for (int row = 0; row < grid->rowCount(); ++row)
                    s << cellText(grid, c, row);
        for (QCheckBox* box : main->findChildren<QCheckBox*>())
            s << box->objectName() + QString::number(box->isChecked());
        for (QComboBox* list : {main->ComboBox1, main->ComboBox2, main->ComboBox3})
            s << QStringLiteral("%1 %2").arg(list->currentIndex()).arg(list->isEnabled());
        s << main->Edit1->text() << QString::number(main->ProgressBar1->isVisible())
          << QString::number(main->PageControl1->currentIndex());
        return s;
    }

    std::vector<std::vector<uint8_t>> sentFrames() const {
        std::vector<std::vector<uint8_t>> out;
        for (const sim::ControlUnitSim::Frame& f : devices.controlUnit.frames())
            out.push_back(f.bytes);
        return out;
    }
    size_t sent(uint8_t expanderCommand) const {
        size_t n = 0;
        for (const sim::ControlUnitSim::Frame& f : devices.controlUnit.framesOf(Command::Relay))
            n += f.bytes.size() > 4 && f.bytes[4] == expanderCommand;
        return n;
    }
    QStringList rowTexts() const {
        QStringList out;
        for (const Compare::Difference& d : window()->result().rows)
            out << d.page + " | " + d.item + " | " + d.window + " | " + d.other;
        return out;
    }
};

// The day of the README's picture: a file edited from expander 1 is opened and compared with it.
TEST_F(Comparison, WithTheExpanderSendsTheReadsFramesAndChangesNothingUntilTheWrite) {
    ASSERT_NO_FATAL_FAILURE(connectToControlUnit());
    devices.controlUnit.clearFrames();
    main->N7->trigger();
    const auto readFrames = sentFrames();

    main->CheckBox1->click();
    setCellText(main->StringGrid1, 1, 2, "");
    setCellText(main->StringGrid1, 3, 20, "Окно зала");
    setCellText(main->StringGrid2, 3, 1, "77");
    setCellText(main->StringGrid3, 5, 1, "+");
    setCellText(main->StringGrid3, 5, 9, "4321");
    const QString file = folder.filePath("flat.okf");
    dialogs.fileNames = {file, file};
    main->N4->trigger();
    main->N7->trigger();
    main->N3->trigger();
    ASSERT_TRUE(main->config.loadedFromFile) << messages().toStdString();
    const QStringList before = state();
    devices.controlUnit.clearFrames();

    item("CompareWithDevice")->trigger();

    EXPECT_EQ(messages(), "");
    EXPECT_EQ(sentFrames(), readFrames);
    EXPECT_EQ(state(), before);
    ASSERT_TRUE(windowShown());
    EXPECT_EQ(window()->windowTitle(), "Сравнение с расширителем 1");
    EXPECT_EQ(window()->table()->model()->headerData(3, Qt::Horizontal), "В расширителе");
    const QStringList rows{
        "Общие свойства | Независимое  взятие общих ШС разных пользователей [1] | нет | да",
        "Свойства ШС | ШС1 · Реле ЗО [5] | — | +",
        "Свойства ШС | ШС3 · Описание | Окно зала | Спальня",
        "Глобальные разделы | Раздел 3 · Глобальный номер | 77 | 0",
        "Пользователи | Пользователь 4 · ШС1 | + | —",
    };
    EXPECT_EQ(rowTexts(), rows);
    EXPECT_EQ(window()->noteLine()->text(), "Коды доступа не сравниваются: коды расширителя не прочитаны.");
    QDir screens(QCoreApplication::applicationDirPath() + "/..");
    ASSERT_TRUE(screens.mkpath("screens"));
    EXPECT_TRUE(window()->grab().save(screens.filePath("screens/compare.png")));
    // The window comes up active, so that Ctrl+C reaches it at once.
    ASSERT_TRUE(input::waitFor([this] { return QApplication::activeWindow() == window(); }, 2000));
    QTest::keyClick(window()->table(), Qt::Key_C, Qt::ControlModifier);
    const QString copied = QApplication::clipboard()->text();
    EXPECT_EQ(copied.count('\n'), 5);
    EXPECT_TRUE(copied.startsWith(
        "Общие свойства\tНезависимое  взятие общих ШС разных пользователей [1]\tнет\tда\n"));
    EXPECT_FALSE(copied.contains("4321"));

    // A backup of the expander before it is overwritten, then the write of the opened file: every
    // item goes out, as after opening a file, and the comparison comes out empty.
    const QString backup = folder.filePath("backup.okf");
    dialogs.fileNames = {backup};
    QTest::mouseClick(window()->saveButton(), Qt::LeftButton);
    QFile saved(backup);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().contains(toCp1251("Спальня\r\n")));
    devices.controlUnit.clearFrames();
    QTest::mouseClick(window()->writeButton(), Qt::LeftButton);
    EXPECT_EQ(messages(), "Программирование расширителя успешно завершено");
    EXPECT_EQ(sent(ExpanderCommand::WriteUser), 31u);
    EXPECT_EQ(window()->summaryLine()->text(), "Конфигурация в окне совпадает с расширителем 1.");
    EXPECT_EQ(window()->table()->model()->rowCount(), 0);
    // Another expander chosen since: its write is not this comparison's.
    chooseItem(main->ComboBox2, 2);
    dialogs.clear();
    devices.controlUnit.clearFrames();
    QTest::mouseClick(window()->writeButton(), Qt::LeftButton);
    EXPECT_EQ(messages(), "Сравнение было с расширителем 1, а выбран другой расширитель. Сравните ещё раз.");
    EXPECT_TRUE(devices.controlUnit.frames().empty());
    // Its buttons act on the main window's port: it goes when the main window hands over.
    main->hide();
    EXPECT_FALSE(windowShown());
}

// Over the local line the expander reports its users' codes: they are compared, user 0 as the write
// sends it, and the partitions, which that line does not have, are not.
TEST_F(Comparison, OverTheLocalLineComparesTheUsersCodes) {
    devices.controlUnit.setLocalLine(true);
    devices.controlUnit.setConsoleCode("1234");
    QTest::keyClicks(main->Edit1, "1234");
    chooseItem(main->ComboBox1, 0);
    ASSERT_EQ(main->ComboBox2->count(), 2) << messages().toStdString();
    setCellText(main->StringGrid3, 1, 9, "9999");
    setCellText(main->StringGrid3, 6, 9, "4321");
    setCellText(main->StringGrid2, 1, 1, "200");
    dialogs.clear();

    item("CompareWithDevice")->trigger();
    ASSERT_TRUE(windowShown()) << messages().toStdString();
    EXPECT_EQ(rowTexts(),
              QStringList{"Пользователи | Пользователь 5 · Код | код отличается | код отличается"});
    EXPECT_FALSE(window()->noteLine()->isVisible());

    QTest::mouseClick(window()->writeButton(), Qt::LeftButton);
    EXPECT_EQ(messages(), "Программирование расширителя успешно завершено");
    EXPECT_EQ(devices.controlUnit.expander(1).userCodes[5], 0x4321);
    EXPECT_EQ(window()->summaryLine()->text(), "Конфигурация в окне совпадает с расширителем 1.");
}

// A comparison that cannot be made answers as the read does and changes nothing.
TEST_F(Comparison, ThatCannotBeMadeShowsTheReadsMessageAndChangesNothing) {
    struct Case {
        const char* name;
        int fetchFails; // expander command whose fetch gets no answer, 0: none
        QString messages;
    } cases[] = {
        {"no port chosen", 0, ""},
        {"parameters not fetched", ExpanderCommand::ReadParameters, "Ошибка чтения параметров"},
        {"partitions not fetched", ExpanderCommand::ReadPartitions, "Ошибка чтения глобальных разделов"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.fetchFails) {
            if (main->ComboBox2->count() == 0) connectToControlUnit();
            sim::ControlUnitSim::Fault silent;
            silent.command = Command::Fetch;
            silent.expanderCommand = c.fetchFails;
            silent.times = -1;
            silent.silent = true;
            devices.controlUnit.clearFaults();
            devices.controlUnit.addFault(silent);
        }
        const QStringList before = state();
        dialogs.clear();
        item("CompareWithDevice")->trigger();
        EXPECT_EQ(messages(), c.messages);
        EXPECT_FALSE(windowShown());
        EXPECT_EQ(state(), before);
        main->ProgressBar1->hide();
    }
}

// "Сравнить с файлом…" needs no device; a file that "Открыть" refuses it refuses with the same
// messages.
TEST_F(Comparison, WithAFileThatOpenRefusesGivesOpensMessages) {
    const QString good = folder.filePath("good.okf");
    dialogs.fileNames = {good};
    main->N4->trigger();
    QFile foreign(folder.filePath("foreign.okf"));
    ASSERT_TRUE(foreign.open(QIODevice::WriteOnly) && foreign.write("<html>\r\n") > 0);
    foreign.close();
    QFile lonely(folder.filePath("lonely.txt")); // no lonely.okf beside it
    ASSERT_TRUE(lonely.open(QIODevice::WriteOnly));
    lonely.close();
    setCellText(main->StringGrid1, 3, 20, "Окно зала");

    for (const char* name : {"foreign.okf", "lonely.txt"}) {
        SCOPED_TRACE(name);
        const QStringList before = state();
        dialogs.clear();
        dialogs.fileNames = {folder.filePath(name)};
        item("CompareWithFile")->trigger();
        const QString compared = messages();
        EXPECT_FALSE(compared.isEmpty());
        EXPECT_FALSE(windowShown());
        EXPECT_EQ(state(), before);
        dialogs.clear();
        dialogs.fileNames = {folder.filePath(name)};
        main->N3->trigger();
        EXPECT_EQ(compared, messages());
    }

    dialogs.clear();
    dialogs.fileNames = {good};
    item("CompareWithFile")->trigger();
    EXPECT_EQ(messages(), "");
    ASSERT_TRUE(windowShown());
    EXPECT_EQ(window()->windowTitle(), "Сравнение с файлом good.okf");
    EXPECT_EQ(window()->table()->model()->headerData(3, Qt::Horizontal), "В файле");
    EXPECT_EQ(rowTexts(), QStringList{"Свойства ШС | ШС3 · Описание | Окно зала | —"});
    EXPECT_FALSE(window()->writeButton()->isVisible() || window()->saveButton()->isVisible());
    EXPECT_FALSE(window()->noteLine()->isVisible());
}

} // namespace

namespace {

// Only what the control unit keeps counts: a long description compares as its first 21 characters
// after the write; a backup that would erase descriptions the read did not deliver is refused; a
// comparison that cannot be repeated after the write shows no rows from before it.
TEST_F(Comparison, AfterTheWriteAndForABackupOnlyWhatTheUnitHoldsCounts) {
    ASSERT_NO_FATAL_FAILURE(connectToControlUnit());
    main->N7->trigger();
    setCellText(main->StringGrid1, 3, 20, "Окно зала на втором этаже");
    item("CompareWithDevice")->trigger();
    ASSERT_TRUE(windowShown()) << messages().toStdString();
    EXPECT_EQ(rowTexts(), QStringList{"Свойства ШС | ШС3 · Описание | Окно зала на втором э | Спальня"});
    QTest::mouseClick(window()->writeButton(), Qt::LeftButton);
    EXPECT_EQ(window()->summaryLine()->text(), "Конфигурация в окне совпадает с расширителем 1.");

    sim::ControlUnitSim::Fault textsLost;
    textsLost.command = Command::ReadDescriptor;
    textsLost.times = -1;
    textsLost.silent = true;
    devices.controlUnit.addFault(textsLost);
    item("CompareWithDevice")->trigger();
    devices.controlUnit.clearFaults();
    dialogs.clear();
    const QString backup = folder.filePath("backup.okf");
    dialogs.fileNames = {backup};
    QTest::mouseClick(window()->saveButton(), Qt::LeftButton);
    EXPECT_TRUE(messages().startsWith("Описания ШС ") && messages().contains("3") && messages().contains("не прочитаны"))
        << messages().toStdString();
    EXPECT_FALSE(QFile::exists(backup));

    setCellText(main->StringGrid1, 4, 20, "Кладовая");
    item("CompareWithDevice")->trigger();
    ASSERT_EQ(window()->table()->model()->rowCount(), 1);
    sim::ControlUnitSim::Fault readFails; // the write leaves the parameters alone; the read after it fails
    readFails.command = Command::Fetch;
    readFails.expanderCommand = ExpanderCommand::ReadParameters;
    readFails.times = -1;
    readFails.silent = true;
    devices.controlUnit.addFault(readFails);
    dialogs.clear();
    QTest::mouseClick(window()->writeButton(), Qt::LeftButton);
    EXPECT_TRUE(messages().contains("Ошибка чтения параметров")) << messages().toStdString();
    EXPECT_EQ(window()->summaryLine()->text(), "Сравнение после записи не удалось повторить: расширитель 1 не прочитан.");
    EXPECT_EQ(window()->table()->model()->rowCount(), 0);
    EXPECT_FALSE(window()->writeButton()->isVisible());
}

} // namespace
