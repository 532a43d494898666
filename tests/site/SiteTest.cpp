// The whole site through the program's windows on the demonstration devices (expanders 1, 2 and 5):
// every expander saved as "Прочитать" and "Сохранить" would save it, with the main window left as it
// was, and the runs that cannot save every expander.

#include "tests/e2e/ProgramFixture.h"

#include "base/GridCells.h"
#include "compare/ComparisonWindow.h"
#include "config/ConfigFile.h"
#include "device/ExpanderFrames.h"
#include "site/ProgressWindow.h"
#include "site/SiteWindow.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <deque>
#include <functional>

namespace {

using Frames = std::vector<std::vector<uint8_t>>;

class Site : public ProgramOnDemoDevices {
  protected:
    void SetUp() override {
        ProgramOnDemoDevices::SetUp();
        connectToControlUnit();
        site = folder.filePath("COM1 site");
    }

    QAction* item(const char* name) const { return main->findChild<QAction*>(QLatin1String(name)); }
    Frames sentFrames() const {
        Frames out;
        for (const sim::ControlUnitSim::Frame& f : devices.controlUnit.frames())
            out.push_back(f.bytes);
        return out;
    }
    // Relay requests to the expander at address.
    size_t relayedTo(int address) const {
        size_t n = 0;
        for (const sim::ControlUnitSim::Frame& f : devices.controlUnit.framesOf(Command::Relay))
            n += f.bytes.size() > 3 && f.bytes[3] == lineAddress(uint8_t(address));
        return n;
    }
    // The record, every grid cell and the lists: what the run must leave alone.
    QStringList state() const {
        const ExpanderConfig& r = main->config;
        QStringList s{QString::number(r.address), QString::number(r.loadedFromFile),
                      QString::number(r.codesRead)};
        s << QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(r.parameters.data()), 18).toHex());
        for (const QString& text : r.loopDescriptions)
            s << text;
        for (QTableWidget* grid : {main->StringGrid1, main->StringGrid2, main->StringGrid3})
            for (int c = 0; c < grid->columnCount(); ++c)
                for (int row = 0; row < grid->rowCount(); ++row)
                    s << cellText(grid, c, row);
        for (QComboBox* list : {main->ComboBox1, main->ComboBox2})
            s << QStringLiteral("%1 %2").arg(list->currentIndex()).arg(list->isEnabled());
        return s;
    }
    QByteArray fileBytes(const QString& path) const {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
    }
    QStringList siteFiles() const { return QDir(site).entryList(QDir::Files, QDir::Name); }
    QString summary() const { return dialogs.texts().value(dialogs.texts().size() - 1); }
    // The site saved, then expander 2 changed on the unit and expander 5's file renamed to 7's, and
    // the site compared with its folder: the site window.
    ::Site::SiteWindow* compareEditedSite(const std::function<void(sim::ControlUnitSim::Expander&)>& edit = {}) {
        dialogs.fileNames = {site};
        item("SaveAllExpanders")->trigger();
        sim::ControlUnitSim::Expander two = devices.controlUnit.expander(2);
        two.parameters[0] ^= 0x01;
        if (edit) edit(two);
        devices.controlUnit.setExpander(2, two);
        const QDir dir(site);
        EXPECT_TRUE(QFile::rename(dir.filePath("Расширитель 5.okf"), dir.filePath("Расширитель 7.okf")));
        devices.controlUnit.clearFrames();
        dialogs.clear();
        dialogs.fileNames = {site};
        item("CompareWithFolder")->trigger();
        return main->findChild<::Site::SiteWindow*>();
    }
    QStringList siteRows(const ::Site::SiteWindow* window) const {
        QStringList rows;
        for (int r = 0; r < window->table()->rowCount(); ++r)
            rows << window->table()->item(r, 0)->text() + " | " + window->table()->item(r, 1)->text();
        return rows;
    }

    QString site;
};

// The mask of a file's codes: the four digits from column 281 of line 1.
uint16_t maskOf(const QByteArray& file) {
    return uint16_t(file.mid(280, 4).toUShort(nullptr, 16));
}

// Over the local line the unit lists expanders 1..3 only and reports the users' codes: they are saved.
TEST_F(Site, SavesEveryExpanderAsReadAndSaveWouldAndLeavesTheWindowAlone) {
    struct Case {
        const char* name;
        bool localLine;
        QStringList files;
        QString summary;
    } cases[] = {
        {"control unit's line",
         false,
         {"Расширитель 1.okf", "Расширитель 2.okf", "Расширитель 5.okf"},
         "Сохранены в папку %1: Расширитель 1, Расширитель 2, Расширитель 5.\n"
         "Коды пользователей и разделов не прочитаны: в файлах коды по умолчанию."},
        {"local line",
         true,
         {"Расширитель 1.okf", "Расширитель 2.okf"},
         "Сохранены в папку %1: Расширитель 1, Расширитель 2."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.localLine) {
            devices.controlUnit.setLocalLine(true);
            devices.controlUnit.setConsoleCode("1234");
            main->Edit1->clear();
            QTest::keyClicks(main->Edit1, "1234");
            chooseItem(main->ComboBox1, 0);
        }
        QDir(site).removeRecursively();
        Frames reads;
        std::vector<QByteArray> saved;
        for (int i = 0; i < c.files.size(); ++i) {
            devices.controlUnit.clearFrames();
            chooseItem(main->ComboBox2, i);
            const Frames frames = sentFrames();
            reads.insert(reads.end(), frames.begin(), frames.end());
            dialogs.fileNames = {folder.filePath(QString::number(i))};
            main->N4->trigger();
            saved.push_back(fileBytes(folder.filePath(QString::number(i) + ".okf")));
        }
        chooseItem(main->ComboBox2, 1);
        setCellText(main->StringGrid1, 3, 20, "Правка в окне");
        const QStringList before = state();
        dialogs.clear();
        devices.controlUnit.clearFrames();

        dialogs.fileNames = {site};
        item("SaveAllExpanders")->trigger();

        ASSERT_EQ(dialogs.entries.size(), 2u) << messages().toStdString();
        EXPECT_EQ(dialogs.entries[0].kind, DialogRecorder::Kind::Folder);
        EXPECT_EQ(dialogs.entries[0].text, "COM1 " + QDate::currentDate().toString(Qt::ISODate));
        EXPECT_EQ(dialogs.entries[0].folder, dialogStartFolder());
        EXPECT_EQ(summary(), c.summary.arg(QDir::toNativeSeparators(site)));
        EXPECT_EQ(sentFrames(), reads);
        EXPECT_EQ(state(), before);
        EXPECT_FALSE(main->config.loadedFromFile);
        ASSERT_EQ(siteFiles(), c.files);
        for (int i = 0; i < c.files.size(); ++i) {
            SCOPED_TRACE(i);
            // The same file whatever mask its codes were saved with: read back and written again with
            // the mask of the other, it gives the other byte for byte.
            const QByteArray file = fileBytes(QDir(site).filePath(c.files[i]));
            const QByteArray& model = saved[size_t(i)];
            CollectedConfig config = decodeConfigFile(file);
            EXPECT_EQ(encodeConfigFile(config, maskOf(file)), file);
            if (c.localLine) {
                // That line has no global partitions: the window keeps what it showed before.
                EXPECT_EQ(config.globalPartitions, CollectedConfig().globalPartitions);
                config.globalPartitions = decodeConfigFile(model).globalPartitions;
            }
            EXPECT_EQ(encodeConfigFile(config, maskOf(model)).toStdString(), model.toStdString());
        }
    }
}

// A run that cannot save every expander saves the others and names the rest in its summary.
TEST_F(Site, SavesWhatItCanAndNamesTheRest) {
    enum class Act {
        None,
        FailUsersOf2,
        FailDescriptionOf2,
        CancelDuring2,
        DeclineReplacing,
        OnlyTheNewOnes,
        AgreeReplacing
    };
    struct Case {
        const char* name;
        Act act;
        QStringList files;
        QString summary;
        size_t relayedTo5;
    } cases[] = {
        {"expander 2 fails mid-read",
         Act::FailUsersOf2,
         {"Расширитель 1.okf", "Расширитель 5.okf"},
         "Сохранены в папку %1: Расширитель 1, Расширитель 5.\n"
         "Расширитель 2 не сохранён: Ошибка чтения локальных разделов.\n"
         "Коды пользователей и разделов не прочитаны: в файлах коды по умолчанию.",
         3},
        {"a description of expander 2 not read",
         Act::FailDescriptionOf2,
         {"Расширитель 1.okf", "Расширитель 5.okf"},
         "Сохранены в папку %1: Расширитель 1, Расширитель 5.\n"
         "Расширитель 2 не сохранён: описания ШС 1 не прочитаны.\n"
         "Коды пользователей и разделов не прочитаны: в файлах коды по умолчанию.",
         3},
        {"cancelled while expander 2 is read",
         Act::CancelDuring2,
         {"Расширитель 1.okf", "Расширитель 2.okf"},
         "Сохранены в папку %1: Расширитель 1, Расширитель 2.\n"
         "Не прочитаны после отмены: Расширитель 5.\n"
         "Коды пользователей и разделов не прочитаны: в файлах коды по умолчанию.",
         0},
        {"replacing declined, and another folder not chosen", Act::DeclineReplacing, {"Расширитель 2.okf"}, "", 0},
        {"replacing declined, the others saved",
         Act::OnlyTheNewOnes,
         {"Расширитель 1.okf", "Расширитель 2.okf", "Расширитель 5.okf"},
         "Сохранены в папку %1: Расширитель 1, Расширитель 5.\n"
         "Оставлены прежние файлы: Расширитель 2.\n"
         "Коды пользователей и разделов не прочитаны: в файлах коды по умолчанию.",
         3},
        {"replacing agreed",
         Act::AgreeReplacing,
         {"Расширитель 1.okf", "Расширитель 2.okf", "Расширитель 5.okf"},
         "Сохранены в папку %1: Расширитель 1, Расширитель 2, Расширитель 5.\n"
         "Коды пользователей и разделов не прочитаны: в файлах коды по умолчанию.",
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(site).removeRecursively();
        devices.controlUnit.clearFaults();
        devices.controlUnit.clearFrames();
        dialogs.clear();
        dialogs.fileNames = {site};
        sim::ControlUnitSim::Fault fault;
        fault.silent = true;
        QTimer cancelDuring2;
        switch (c.act) {
        case Act::FailUsersOf2:
            fault.command = Command::Fetch;
            fault.expanderCommand = ExpanderCommand::ReadUsers;
            fault.skip = 1; // expander 1's
            fault.times = Link::kFetchRounds;
            devices.controlUnit.addFault(fault);
            break;
        case Act::FailDescriptionOf2:
            fault.command = Command::ReadDescriptor;
            fault.skip = 3; // expander 1's three texts
            fault.times = Link::kRequestAttempts;
            devices.controlUnit.addFault(fault);
            break;
        case Act::CancelDuring2:
            // "Отмена" as soon as the first request to expander 2 has gone out.
            QObject::connect(&cancelDuring2, &QTimer::timeout, [this] {
                auto* progress = main->findChild<::Site::ProgressWindow*>();
                if (progress && relayedTo(2) > 0) progress->cancelButton()->click();
            });
            cancelDuring2.start(0);
            break;
        case Act::DeclineReplacing:
        case Act::OnlyTheNewOnes:
        case Act::AgreeReplacing: {
            ASSERT_TRUE(QDir().mkpath(site));
            QFile old(QDir(site).filePath("Расширитель 2.okf"));
            ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old\r\n") == 5);
            old.close();
            dialogs.answers = {c.act == Act::AgreeReplacing, c.act == Act::OnlyTheNewOnes};
            break;
        }
        case Act::None:
            break;
        }
        const QByteArray oldBytes = fileBytes(QDir(site).filePath("Расширитель 2.okf"));

        item("SaveAllExpanders")->trigger();

        EXPECT_EQ(siteFiles(), c.files);
        EXPECT_EQ(relayedTo(5), c.relayedTo5);
        if (c.act == Act::DeclineReplacing || c.act == Act::OnlyTheNewOnes)
            EXPECT_EQ(fileBytes(QDir(site).filePath("Расширитель 2.okf")), oldBytes);
        if (c.act == Act::DeclineReplacing) {
            // The way on: another folder, proposed new beside the refused one; cancelled here.
            EXPECT_EQ(messages(), "В папке уже есть файлы: Расширитель 2.okf. Заменить их? | Сохранить только "
                                  "расширители, файлов которых в папке нет: Расширитель 1, Расширитель 5? «Нет» "
                                  "— выбрать другую папку.");
            ASSERT_EQ(dialogs.entries.size(), 4u);
            EXPECT_EQ(dialogs.entries[3].kind, DialogRecorder::Kind::Folder);
            EXPECT_EQ(dialogs.entries[3].folder, folder.path());
            EXPECT_TRUE(sentFrames().empty());
        } else {
            EXPECT_EQ(summary(), QString(c.summary).arg(QDir::toNativeSeparators(site)));
        }
        EXPECT_EQ(main->findChild<::Site::ProgressWindow*>(), nullptr);
        main->ProgressBar1->hide();
    }
}

// "Сравнить с папкой…" after one expander was changed lists exactly that one; an expander without
// its file reads "нет файла" and is not read, a file without an expander "нет в приборе".
TEST_F(Site, ComparedWithAFolderListsWhatDiffers) {
    const QStringList before = state();
    ::Site::SiteWindow* window = compareEditedSite();

    EXPECT_EQ(messages(), "");
    EXPECT_EQ(state(), before);
    ASSERT_TRUE(window && window->isVisible());
    EXPECT_EQ(siteRows(window), (QStringList{"Расширитель 1 | совпадает, коды не сравнивались",
                                             "Расширитель 2 | 1 различие, коды не сравнивались",
                                             "Расширитель 5 | нет файла", "Расширитель 7 | нет в приборе"}));
    QDir screens(QCoreApplication::applicationDirPath() + "/..");
    ASSERT_TRUE(screens.mkpath("screens"));
    EXPECT_TRUE(window->grab().save(screens.filePath("screens/site.png")));
    EXPECT_GT(relayedTo(1), 0u);
    EXPECT_EQ(relayedTo(5), 0u);

    window->table()->setCurrentCell(1, 0);
    QTest::keyClick(window->table(), Qt::Key_Return);
    ASSERT_TRUE(window->details() && window->details()->isVisible());
    QStringList differences;
    for (const Compare::Difference& d : window->details()->result().rows)
        differences << d.page + " | " + d.item + " | " + d.window + " | " + d.other;
    EXPECT_EQ(
        differences,
        QStringList{"Общие свойства | Независимое  взятие общих ШС разных пользователей [1] | да | нет"});
    EXPECT_EQ(window->details()->table()->model()->headerData(2, Qt::Horizontal), "В файле");
}

// "Сравнить папки…": two backups of the site, expander 2 changed between them, compare to exactly that
// expander's differences, with no device asked and nothing to write.
TEST_F(Site, TwoBackupsCompareToWhatChangedBetweenThem) {
    const QString later = folder.filePath("COM1 later");
    dialogs.fileNames = {site};
    item("SaveAllExpanders")->trigger();
    sim::ControlUnitSim::Expander two = devices.controlUnit.expander(2);
    two.parameters[0] ^= 0x01;
    devices.controlUnit.setExpander(2, two);
    dialogs.fileNames = {later};
    item("SaveAllExpanders")->trigger();
    ASSERT_TRUE(QFile::remove(QDir(later).filePath("Расширитель 5.okf")));
    devices.controlUnit.clearFrames();
    dialogs.clear();

    dialogs.fileNames = {site, later};
    item("CompareFolders")->trigger();

    auto* window = main->findChild<::Site::SiteWindow*>();
    ASSERT_TRUE(window && window->isVisible());
    EXPECT_TRUE(sentFrames().empty());
    EXPECT_EQ(messages(), "");
    EXPECT_EQ(dialogs.entries[1].folder, folder.path());
    EXPECT_EQ(siteRows(window), (QStringList{"Расширитель 1 | совпадает", "Расширитель 2 | 1 различие",
                                             "Расширитель 5 | нет во второй папке"}));
    EXPECT_FALSE(window->writeButton()->isVisible());
    EXPECT_FALSE(window->table()->item(0, 0)->flags() & Qt::ItemIsUserCheckable);
    window->openRow(1);
    ASSERT_TRUE(window->details());
    const Compare::Result& result = window->details()->result();
    ASSERT_EQ(result.rows.size(), 1u);
    EXPECT_EQ(result.rows[0].window + " → " + result.rows[0].other, "да → нет");
    EXPECT_EQ(window->details()->table()->model()->headerData(2, Qt::Horizontal), "было");
    EXPECT_EQ(window->details()->table()->model()->headerData(3, Qt::Horizontal), "стало");
}

// "Записать в расширители…" writes only what was checked, after one question naming the addresses, and
// never from a file that no longer reads; each written expander is compared with its file again. The
// backup was read over the control unit's line, without codes: a code of the unit's own stays, and a
// user or partition whose write would carry the file's code is named and left alone unless allowed.
TEST_F(Site, WritesTheCheckedExpandersFromTheirFiles) {
    ::Site::SiteWindow* window = compareEditedSite([](sim::ControlUnitSim::Expander& two) {
        two.userCodes[1] = 0xC2EB;
        two.userMasks[3] ^= 0x01;
        two.partitionNumbers[1] += 1;
    });
    ASSERT_TRUE(window);
    QTableWidget* table = window->table();
    for (int r : {2, 3}) // "нет файла", "нет в приборе"
        EXPECT_FALSE(table->item(r, 0)->flags() & Qt::ItemIsUserCheckable) << r;
    EXPECT_EQ(table->item(1, 0)->checkState(), Qt::Unchecked);
    EXPECT_EQ(table->item(1, 1)->text(), "3 различия, коды не сравнивались");
    // A screen reader is told which rows have a check box, and whether it is checked.
    const auto toldOf = [table](int row) {
        QAccessibleInterface* cell =
            QAccessible::queryAccessibleInterface(table)->tableInterface()->cellAt(row, 0);
        return cell->text(QAccessible::Description) + (cell->state().checked ? " (checked)" : "");
    };
    EXPECT_EQ((QStringList{toldOf(0), toldOf(1), toldOf(2)}),
              (QStringList{"флажок, не отмечен", "флажок, не отмечен", ""}));
    table->item(0, 0)->setCheckState(Qt::Checked);
    EXPECT_EQ(toldOf(0), "флажок, отмечен (checked)");
    table->item(0, 0)->setCheckState(Qt::Unchecked);
    const QString file2 = QDir(site).filePath("Расширитель 2.okf");
    const QByteArray saved = fileBytes(file2);
    const auto unit = [this] { return devices.controlUnit.expander(2); };
    const sim::ControlUnitSim::Expander edited = unit();
    const QString unread = "Записать конфигурации из файлов в расширители 2? Окно покажет последнюю "
                           "записанную конфигурацию.\nКоды расширителей 2 не сравнивались: записываются "
                           "только различия, коды в приборе остаются прежними.";
    const QString question = unread + "\nС кодами из файлов были бы записаны:\nРасширитель 2: пользователь 3 "
                                      "(код станет 0303), раздел 2 (код станет 0202)";
    const QString codes = "Записать этих пользователей и эти разделы с кодами из файлов?\nРасширитель 2: "
                          "пользователь 3 (код станет 0303), раздел 2 (код станет 0202)\n«Нет» — оставить их, "
                          "как в приборе.";
    struct Case {
        const char* name;
        std::deque<bool> answers;
        QByteArray file;
        QString messages;
        QString status;
        bool parameterRestored, userAndPartitionRestored;
        bool unitForgets = false; // echoes the writes but does not keep them
    } cases[] = {
        {"declined", {false}, saved, question, "3 различия, коды не сравнивались", false, false},
        {"the file damaged since", {true}, "<html>\r\n", unread,
         "не записан: Файл не является файлом конфигурации расширителя", false, false},
        {"the unit does not keep the write, no repeat", {true, false, false}, saved,
         question + " | " + codes + " | Ошибка записи параметров\r\n   Повторить запись?",
         "не записан: Ошибка записи параметров", false, false, true},
        {"written, codes left as the unit has them", {true, false}, saved, question + " | " + codes,
         "записан, 2 различия, коды не сравнивались; оставлены, как в приборе: пользователь 3, раздел 2", true,
         false},
        {"written with the file's codes", {true, true}, saved, question + " | " + codes,
         "записан, совпадает, коды не сравнивались", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile file(file2);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(c.file) == c.file.size());
        file.close();
        dialogs.clear();
        dialogs.answers = c.answers;
        devices.controlUnit.clearFrames();
        sim::ControlUnitSim::Expander now = unit();
        now.forgetWrites = c.unitForgets ? -1 : 0;
        devices.controlUnit.setExpander(2, now);
        table->item(1, 0)->setCheckState(Qt::Checked);

        QTest::mouseClick(window->writeButton(), Qt::LeftButton);

        EXPECT_EQ(messages(), c.messages);
        EXPECT_EQ(table->item(1, 1)->text(), c.status);
        EXPECT_EQ(relayedTo(1), 0u);
        EXPECT_EQ(unit().parameters[0] == edited.parameters[0], !c.parameterRestored);
        EXPECT_EQ(unit().userCodes[1], 0xC2EB);
        EXPECT_EQ(unit().userMasks[3] == edited.userMasks[3], !c.userAndPartitionRestored);
        EXPECT_EQ(unit().userCodes[3], c.userAndPartitionRestored ? 0x0303 : edited.userCodes[3]);
        EXPECT_EQ(unit().partitionNumbers[1] == edited.partitionNumbers[1], !c.userAndPartitionRestored);
    }
    EXPECT_EQ(main->ComboBox2->currentText(), expanderItemText(2));
    EXPECT_EQ(main->config.address, 2);
}

} // namespace

namespace {

// The bar of a run stands part-way at its first expander and is full when the last is done.
TEST(SiteProgress, FillsAsTheExpandersAreDone) {
    ::Site::ProgressWindow progress(nullptr, QStringLiteral("Сохранение расширителей"), 3);
    QProgressBar* bar = progress.bar();
    std::vector<int> seen;
    for (int i = 1; i <= 3; ++i) {
        progress.step(i, i);
        seen.push_back(bar->value());
        progress.stepDone(i);
    }
    EXPECT_GT(seen.front(), bar->minimum());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(bar->value(), bar->maximum());
}

} // namespace
