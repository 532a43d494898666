// What real lines and real files do to the program: a device that disappears, goes silent or
// babbles; a window closed in the middle of an exchange; other commands given while one waits; files
// that are empty, binary, cut short or gigantic. Each case ends with the described message or a
// clear one, never a crash, a hang or a lost file.
#include "ProgramFixture.h"

#include "base/GridCells.h"
#include "base/Text1251.h"

#include <QAction>
#include <QFile>
#include <QPushButton>
#include <QTableWidget>

namespace {

using input::waitFor;

class FaultTable : public ProgramOnDemoDevices {
  protected:
    // Runs the action and measures how long it took on the program's time, in ms.
    static qint64 timed(const std::function<void()>& action) {
        const uint32_t start = Clock::ticks();
        action();
        return Clock::ticks() - start;
    }
    QString writeFile(const QString& name, const QByteArray& bytes) {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    // A file of the given size that takes no room on the disk.
    QString sparseFile(const QString& name, qint64 size) {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_TRUE(file.resize(size));
        return path;
    }
    QByteArray binaryBytes() const {
        QByteArray bytes;
        for (int i = 0; i < 5000; ++i)
            bytes.append(static_cast<char>((i * 7919) % 256));
        return bytes;
    }
};

TEST_F(FaultTable, ControlUnitDisappearsDuringARead) {
    ASSERT_NO_FATAL_FAILURE(connectToControlUnit());
    clock.at(300, [&] { devices.controlUnit.stop(); });
    const qint64 ms = timed([&] { chooseItem(main->ComboBox2, 1); });
    EXPECT_LT(ms, 5000);
    ASSERT_EQ(dialogs.texts().size(), 1) << messages().toStdString();
    EXPECT_TRUE(dialogs.texts()[0].startsWith("Ошибка")) << messages().toStdString();
    EXPECT_FALSE(Link::portOpen());
    EXPECT_TRUE(main->ComboBox1->isEnabled());
    EXPECT_TRUE(main->ComboBox2->isEnabled());
}

TEST_F(FaultTable, ControlUnitDisappearsDuringProgramming) {
    ASSERT_NO_FATAL_FAILURE(connectToControlUnit());
    main->config.loadedFromFile = true; // everything is sent
    clock.at(400, [&] { devices.controlUnit.stop(); });
    const qint64 ms = timed([&] { QTest::mouseClick(main->Button1, Qt::LeftButton); });
    EXPECT_LT(ms, 10000);
    // The run ends with the repeat question (answered No): nothing unconfirmed is reported as done.
    ASSERT_FALSE(dialogs.entries.empty());
    EXPECT_EQ(dialogs.entries.back().kind, DialogRecorder::Kind::Question) << messages().toStdString();
    EXPECT_TRUE(dialogs.entries.back().text.endsWith("\r\n   Повторить запись?"));
    EXPECT_FALSE(messages().contains("успешно"));
    EXPECT_FALSE(Link::portOpen());
    EXPECT_TRUE(main->ComboBox1->isEnabled());
}

TEST_F(FaultTable, ControlUnitGoesSilent) {
    ASSERT_NO_FATAL_FAILURE(connectToControlUnit());
    sim::ControlUnitSim::Fault silence;
    silence.times = -1;
    silence.silent = true;
    devices.controlUnit.addFault(silence);
    chooseItem(main->ComboBox2, 2);
    EXPECT_EQ(dialogs.texts(), QStringList{"Нет ответа"});
    EXPECT_EQ(main->ComboBox2->currentIndex(), 0); // back to the expander last read
    EXPECT_EQ(main->config.address, 1);
    EXPECT_TRUE(main->ComboBox2->isEnabled());
}

TEST_F(FaultTable, NoiseBeforeEveryReplyIsSkipped) {
    sim::ControlUnitSim::Fault noise;
    noise.times = -1;
    noise.noiseBefore = {0x00, 0x55, 0xAF, 0x13, 0xFB, 0x06};
    devices.controlUnit.addFault(noise);
    ASSERT_NO_FATAL_FAILURE(connectToControlUnit());
    chooseItem(main->ComboBox2, 2);
    EXPECT_TRUE(dialogs.entries.empty()) << messages().toStdString();
    EXPECT_EQ(cellText(main->StringGrid1, 8, 20), "Участок");
    EXPECT_EQ(main->config.parameters[1], 0x80);
}

TEST_F(FaultTable, MainWindowClosedDuringAnExchangeEndsPromptly) {
    ASSERT_NO_FATAL_FAILURE(connectToControlUnit());
    const uint32_t start = Clock::ticks();
    uint32_t closedAt = 0;
    clock.at(250, [&] {
        closedAt = Clock::ticks();
        main->close();
    });
    chooseItem(main->ComboBox2, 1);
    EXPECT_EQ(closedAt - start, 250u);
    EXPECT_LT(Clock::ticks() - closedAt, 1000u);
    EXPECT_TRUE(Clock::terminating());
    EXPECT_FALSE(Link::portOpen());
    EXPECT_TRUE(dialogs.entries.empty()) << messages().toStdString();
}

TEST_F(FaultTable, KeyWindowClosedDuringAnExchangeEndsPromptly) {
    QTest::keyClicks(main->Edit1, sim::DemoDevices::kAccessCode);
    chooseItem(main->ComboBox1, 1);
    ASSERT_TRUE(keys->isVisible());
    sim::KeyDeviceSim::Fault silence;
    silence.times = -1;
    silence.silent = true;
    devices.keyDevice.addFault(silence);
    const uint32_t start = Clock::ticks();
    uint32_t closedAt = 0;
    clock.at(300, [&] {
        closedAt = Clock::ticks();
        keys->close();
    });
    keys->RefreshKeyTable(); // about 3 s of tries without an answer
    EXPECT_EQ(closedAt - start, 300u);
    EXPECT_LT(Clock::ticks() - closedAt, 1000u);
    EXPECT_TRUE(Clock::terminating());
    EXPECT_FALSE(Link::portOpen());
    EXPECT_FALSE(messages().contains("Нет ответа"));
}

// During the programming run's 300 ms waits the user reads another expander, programs again and
// asks for a file: the run keeps the line to itself, and closing the window ends everything.
TEST_F(FaultTable, CommandsGivenWhileAnExchangeWaitsNeverShareTheLine) {
    ASSERT_NO_FATAL_FAILURE(connectToControlUnit());
    main->config.loadedFromFile = true;
    devices.controlUnit.clearFrames();
    int accessFramesSeen = -1;
    clock.at(150, [&] {
        main->N7->trigger(); // "Прочитать"
        main->N6->trigger(); // "Запрограммировать"
        QTest::mouseClick(main->Button1, Qt::LeftButton);
        main->N3->trigger(); // "Открыть": a file dialog (cancelled)
    });
    clock.at(700, [&] {
        accessFramesSeen = static_cast<int>(devices.controlUnit.framesOf(0).size());
        main->close();
    });
    QTest::mouseClick(main->Button1, Qt::LeftButton);
    EXPECT_EQ(accessFramesSeen, 1); // only the run's own access step went out
    EXPECT_TRUE(Clock::terminating());
    EXPECT_FALSE(Link::portOpen());
    // Every frame the program wrote was a whole frame: nothing interleaved on the line.
    EXPECT_TRUE(devices.controlUnit.strayBytes().empty());
    for (const auto& frame : devices.controlUnit.frames())
        EXPECT_TRUE(frame.checksumOk);
}

TEST_F(FaultTable, ConfigurationFilesThatAreEmptyBinaryTruncatedOrGigantic) {
    ASSERT_NO_FATAL_FAILURE(connectToControlUnit());
    const ExpanderConfig before = main->config;

    // Neither an empty nor a binary file is a configuration: nothing of them reaches the record.
    const std::pair<const char*, QByteArray> foreign[] = {{"empty.okf", {}}, {"binary.okf", binaryBytes()}};
    for (const auto& [name, bytes] : foreign) {
        dialogs.clear();
        dialogs.fileNames.push_back(writeFile(name, bytes));
        main->N3->trigger();
        EXPECT_EQ(dialogs.texts(), QStringList{"Файл не является файлом конфигурации расширителя"}) << name;
        EXPECT_EQ(main->config.parameters, before.parameters) << name;
        EXPECT_FALSE(main->config.loadedFromFile) << name;
    }

    dialogs.clear();
    dialogs.fileNames.push_back(writeFile("cut.okf", QByteArray(150, 'A')));
    main->N3->trigger();
    EXPECT_EQ(main->config.parameters[0], 0xAA);
    EXPECT_EQ(main->config.users[1].code, 0xAAAA ^ 0); // cut off before M: M reads as 0

    dialogs.clear();
    main->config = before;
    dialogs.fileNames.push_back(sparseFile("huge.okf", 200 * 1024 * 1024));
    const qint64 ms = timed([&] { main->N3->trigger(); });
    EXPECT_LT(ms, 5000);
    EXPECT_EQ(dialogs.texts(), QStringList(9, "Ошибка чтения"));
    EXPECT_EQ(main->config.parameters, before.parameters);
}

TEST_F(FaultTable, KeyDescriptionFilesThatAreEmptyBinaryTruncatedOrGigantic) {
    keys->KeyDescriptions[5] = "сохранено";
    for (const QString& path :
         {writeFile("empty.txt", {}), writeFile("binary.txt", binaryBytes()),
          writeFile("cut.txt", toCp1251("Задействованы следующие ключи:\r\nрасш.1 по"))}) {
        dialogs.clear();
        dialogs.fileNames.push_back(path);
        keys->Button7Click();
        EXPECT_TRUE(dialogs.texts().isEmpty()) << path.toStdString() << ": " << messages().toStdString();
        EXPECT_EQ(keys->KeyDescriptions[5], "сохранено");
    }
    dialogs.clear();
    dialogs.fileNames.push_back(sparseFile("huge.txt", 200 * 1024 * 1024));
    const qint64 ms = timed([&] { keys->Button7Click(); });
    EXPECT_LT(ms, 20000);
    EXPECT_EQ(keys->KeyDescriptions[5], "сохранено");
}

} // namespace
