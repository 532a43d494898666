#include "config/ConfigFile.h"
#include "ConfigControlsFixture.h"
#include "DialogRecorder.h"
#include "FileSizeLimit.h"
#include "Unprivileged.h"
#include "base/GridCells.h"
#include "config/ConfigView.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Line 1 of the golden file, written field by field from the file layout with M = 0x1234.
const char* const kGoldenLine =
    "0102030405060708090A0B0C0D0E0F101112"                         // parameters 1..18
    "0102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E" // masks, users 1..30
    "0000"                                                         // user 1: 0x1234 = M
    "B9F9"                                                         // user 2: 0xABCD ^ M
    "EDCBEDCBEDCBEDCBEDCBEDCBEDCBEDCBEDCBEDCBEDCBEDCBEDCBEDCB"     // users 3..16 empty
    "EDCBEDCBEDCBEDCBEDCBEDCBEDCBEDCBEDCBEDCBEDCBEDCBEDCBEDCB"     // users 17..30 empty
    "1020304050607080"                                             // partition masks
    "C9CACBCCCDCECFD0"                                             // global numbers
    "13351036113716301731143215331A3C"                             // p × 0x0101 ^ M
    "1234"                                                         // M
    "FF8A42";                                                      // user 0: mask 0xFF, code 0x9876 ^ M

QByteArray goldenFile() {
    QByteArray bytes = QByteArray(kGoldenLine) + "\r\n";
    bytes += QByteArray::fromHex("CAF3F5EDFF") + "\r\n";           // "Кухня"
    bytes += QByteArray::fromHex("D7B8F0EDFBE920F5EEE4") + "\r\n"; // "Чёрный ход"
    bytes += "\r\n\r\n\r\n\r\n\r\n";
    bytes += "A\r\n";
    return bytes;
}

ExpanderConfig goldenConfig() {
    ExpanderConfig config;
    for (int k = 0; k < kParameterCount; ++k)
        config.parameters[k] = uint8_t(k + 1);
    for (int u = 1; u < kUserCount; ++u)
        config.users[u] = {uint8_t(u), kEmptyCode};
    config.users[0] = {0xFF, 0x9876};
    config.users[1].code = 0x1234;
    config.users[2].code = 0xABCD;
    for (int p = 1; p <= kPartitionCount; ++p)
        config.globalPartitions[p - 1] = {uint8_t(200 + p), uint8_t(0x10 * p), uint16_t(0x0101 * p)};
    config.loopDescriptions[0] = QStringLiteral("Кухня");
    config.loopDescriptions[1] = QStringLiteral("Чёрный ход");
    config.loopDescriptions[7] = QStringLiteral("A");
    return config;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QStringList readErrors(int count) {
    return QStringList(count, QStringLiteral("Ошибка чтения"));
}

TEST(ConfigFile, GoldenFileFromTheLayout) {
    ASSERT_EQ(strlen(kGoldenLine), 290u);
    const CollectedConfig config = collectedOf(goldenConfig());
    EXPECT_EQ(encodeConfigLine(config, 0x1234), QByteArray(kGoldenLine));
    EXPECT_EQ(encodeConfigFile(config, 0x1234), goldenFile());
    EXPECT_EQ(decodeConfigFile(goldenFile()), config);
}

TEST(ConfigFile, RoundTripsForEveryMask) {
    for (uint16_t mask : {0x0000, 0x0001, 0x1234, 0x8000, 0xFFFF}) {
        ExpanderConfig config = sampleConfig();
        config.users[5].code = mask;       // written as 0000
        config.users[0].code = mask;       // user 0 stands after M
        config.users[3].code = kEmptyCode; // written as the complement of M
        config.globalPartitions[1].code = mask;
        config.globalPartitions[2].code = kEmptyCode;
        const CollectedConfig collected = collectedOf(config);
        const QByteArray bytes = encodeConfigFile(collected, mask);
        EXPECT_EQ(bytes.indexOf("\r\n"), 290) << mask;
        EXPECT_EQ(decodeConfigFile(bytes), collected) << mask;
    }
}

TEST(ConfigFile, FieldsThatDoNotReadTakeTheirDefaults) {
    const QByteArray golden(kGoldenLine);
    struct Case {
        const char* name;
        QByteArray line;
        std::function<void(CollectedConfig&)> expect; // changes from the golden configuration
    };
    const Case cases[] = {
        {"lower-case digits", golden.toLower(), [](CollectedConfig&) {}},
        {"bad byte", QByteArray(golden).replace(0, 2, "Z1"), [](CollectedConfig& c) { c.parameters[0] = 0; }},
        {"bad code", QByteArray(golden).replace(100, 4, "B9G9"),
         [](CollectedConfig& c) { c.users[2].code = 0; }},
        {"signed code", QByteArray(golden).replace(100, 4, "-001"),
         [](CollectedConfig& c) { c.users[2].code = 0; }},
        {"bad global number", QByteArray(golden).replace(232, 2, " 9"),
         [](CollectedConfig& c) { c.globalPartitions[0].globalNumber = 0; }},
        {"bad mask M", QByteArray(golden).replace(280, 4, "12x4"),
         [](CollectedConfig& c) {
             // Without M every code field is taken as it stands.
             for (int u = 1; u < kUserCount; ++u)
                 c.users[u].code ^= 0x1234;
             for (PartitionEntry& p : c.globalPartitions)
                 p.code ^= 0x1234;
             c.users[0].code ^= 0x1234;
         }},
        {"user 0 missing", golden.left(284),
         [](CollectedConfig& c) {
             c.users[0] = {0, 0};
         }},
    };
    for (const Case& c : cases) {
        CollectedConfig expected = collectedOf(goldenConfig());
        expected.loopDescriptions = {};
        c.expect(expected);
        EXPECT_EQ(decodeConfigFile(c.line), expected) << c.name;
    }
}

TEST(ConfigFile, ShortLineSetsTheParametersAndZeroesTheRest) {
    const CollectedConfig config = decodeConfigFile(QByteArray(kGoldenLine).left(36) + "\r\nКухня");
    for (int k = 0; k < kParameterCount; ++k)
        EXPECT_EQ(config.parameters[k], k + 1);
    for (const UserEntry& user : config.users)
        EXPECT_EQ(user, (UserEntry{0, 0x0000}));
    for (const PartitionEntry& partition : config.globalPartitions)
        EXPECT_EQ(partition, (PartitionEntry{0, 0, 0x0000}));
    // An empty file: every field at its default, codes included (M is 0, so they read as 0).
    CollectedConfig zero;
    for (UserEntry& user : zero.users)
        user.code = 0;
    EXPECT_EQ(decodeConfigFile(QByteArray()), zero);
}

TEST(ConfigFile, DescriptionLinesKeepEveryCharacter) {
    const struct {
        const char* name;
        QByteArray tail; // after line 1
        std::array<QString, 8> descriptions;
    } cases[] = {
        {"LF alone", "a\nb\n\nd\n", {"a", "b", "", "d"}},
        {"last line without its end", "a\r\nb", {"a", "b"}},
        {"lone CR stays", "a\rb\r\nc\r\r\n", {"a\rb", "c\r"}},
        {"NUL byte", QByteArray("x\0y\r\nz", 6), {QString(QStringLiteral("x")) + QChar(0) + "y", "z"}},
        {"more than nine lines",
         "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n",
         {"1", "2", "3", "4", "5", "6", "7", "8"}},
        {"1251 text", QByteArray::fromHex("B8A8B9") + "\r\n", {"ёЁ№"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decodeConfigFile(QByteArray(kGoldenLine) + "\r\n" + c.tail).loopDescriptions,
                  c.descriptions)
            << c.name;
}

TEST(ConfigFile, LineBreaksInADescriptionCannotShiftTheLines) {
    CollectedConfig config = collectedOf(sampleConfig());
    config.loopDescriptions[0] = QStringLiteral("два\r\nряда");
    config.loopDescriptions[1] = QStringLiteral("a\nb\rc");
    const CollectedConfig read = decodeConfigFile(encodeConfigFile(config, 0x4321));
    EXPECT_EQ(read.loopDescriptions[0], "два  ряда");
    EXPECT_EQ(read.loopDescriptions[1], "a b c");
    EXPECT_EQ(read.loopDescriptions[2], config.loopDescriptions[2]);
    EXPECT_EQ(read.loopDescriptions[7], config.loopDescriptions[7]);
}

TEST(ConfigFile, ChosenNameGetsTheOwnExtension) {
    const std::pair<const char*, const char*> cases[] = {
        {"/d/a.txt", "/d/a.okf"}, {"/d/a", "/d/a.okf"},          {"/d/a.b.c", "/d/a.b.okf"},
        {"/d/a.", "/d/a.okf"},    {"/d.v2/a", "/d.v2/a.okf"},    {"/d/a.OKF", "/d/a.okf"},
        {"a.okf", "a.okf"},       {"/d/имя.конф", "/d/имя.okf"},
    };
    for (const auto& [chosen, used] : cases)
        EXPECT_EQ(configFileName(QString::fromUtf8(chosen)), QString::fromUtf8(used)) << chosen;
}

class ConfigFileCommands : public testing::Test {
  protected:
    QTemporaryDir dir;
    TestControls t;
    DialogRecorder recorder;
    FixedClock clock{0x51234}; // M = 0x1234
    QString path(const QString& name) const { return dir.filePath(name); }
    void expectOpeningChangesNothing(const QString& chosen, const QStringList& messages);

    // The record as the controls show it after opening: a different configuration first.
    ExpanderConfig previousRecord() const {
        ExpanderConfig record = sampleConfig();
        record.address = 17;
        record.codesRead = true;
        record.extraCode = 0x4242;
        return record;
    }
};

TEST_F(ConfigFileCommands, SavingWritesTheControlsAndOpeningReadsThemBack) {
    ShowConfig(goldenConfig(), t.controls, true);
    recorder.fileNames = {path("конфигурация")};
    PackData(t.controls);
    EXPECT_EQ(readAll(path("конфигурация.okf")), goldenFile());
    ASSERT_EQ(recorder.entries.size(), 1u);
    EXPECT_EQ(recorder.entries[0].kind, DialogRecorder::Kind::SaveFile);
    EXPECT_EQ(recorder.entries[0].text, "Файлы конфигурации расширителя (*.okf)|*.okf");
    EXPECT_EQ(recorder.entries[0].folder, dialogStartFolder());

    ExpanderConfig record = previousRecord();
    ShowConfig(record, t.controls, true);
    recorder.clear();
    recorder.fileNames = {path("конфигурация.okf")};
    UnpackData(record, t.controls);
    ASSERT_EQ(recorder.entries.size(), 1u);
    EXPECT_EQ(recorder.entries[0].kind, DialogRecorder::Kind::OpenFile);
    EXPECT_EQ(recorder.entries[0].text, "Файлы конфигурации расширителя (*.okf)|*.okf");
    EXPECT_EQ(collectedOf(record), collectedOf(goldenConfig()));
    EXPECT_TRUE(record.loadedFromFile);
    EXPECT_EQ(record.address, 17);
    EXPECT_TRUE(record.codesRead);
    EXPECT_EQ(record.extraCode, 0x4242);
    EXPECT_EQ(CollectConfig(t.controls), collectedOf(goldenConfig()));
}

TEST_F(ConfigFileCommands, OpeningATextFileNameReadsTheConfigurationFileBesideIt) {
    writeAll(path("a.txt"), "not a configuration");
    writeAll(path("a.okf"), goldenFile());
    ExpanderConfig record = previousRecord();
    recorder.fileNames = {path("a.txt")};
    UnpackData(record, t.controls);
    EXPECT_TRUE(recorder.texts().isEmpty());
    EXPECT_EQ(collectedOf(record), collectedOf(goldenConfig()));
}

// Opening that reads no configuration shows `messages` and changes nothing: not the record, not the
// edits in the controls, not the loaded-from-file mark.
void ConfigFileCommands::expectOpeningChangesNothing(const QString& chosen, const QStringList& messages) {
    SCOPED_TRACE(chosen.toStdString());
    ExpanderConfig record = previousRecord();
    ShowConfig(record, t.controls, true);
    setCellText(&t.loopGrid, 1, 20, "правка");
    setCellText(&t.usersGrid, 1, 9, "0000");
    const CollectedConfig shown = CollectConfig(t.controls);
    recorder.clear();
    if (!chosen.isEmpty()) recorder.fileNames = {chosen};
    EXPECT_TRUE(UnpackData(record, t.controls).isEmpty());
    EXPECT_EQ(recorder.texts(), messages);
    for (const DialogRecorder::Entry& entry : recorder.entries)
        if (entry.kind == DialogRecorder::Kind::Message) EXPECT_TRUE(entry.caption.isEmpty());
    EXPECT_EQ(collectedOf(record), collectedOf(previousRecord()));
    EXPECT_FALSE(record.loadedFromFile);
    EXPECT_EQ(CollectConfig(t.controls), shown);
}

TEST_F(ConfigFileCommands, UnreadableFileShowsNineMessagesAndChangesNothing) {
    writeAll(path("only.txt"), "x");
    ASSERT_EQ(mkfifo(path("pipe.okf").toLocal8Bit().constData(), 0600), 0);
    writeAll(path("pipe.txt"), "x");
    {
        QFile big(path("big.okf"));
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(kMaxConfigFileSize + 1)); // sparse, no real disk use
    }
    QDir(dir.path()).mkdir("folder.okf");
    writeAll(path("folder.txt"), "x");
    for (const char* chosen : {"only.txt", "pipe.txt", "big.okf", "folder.txt"})
        expectOpeningChangesNothing(path(chosen), readErrors(9));
}

TEST_F(ConfigFileCommands, CancelledOrMissingChoiceChangesNothing) {
    for (const QString& chosen : {QString(), path("absent.okf")})
        expectOpeningChangesNothing(chosen, {});
}

TEST_F(ConfigFileCommands, OnlyAFileWhoseFirstLineCanBeAConfigurationOpens) {
    const QByteArray pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /Type /Catalog >>\nendobj\n";
    const std::pair<QByteArray, bool> cases[] = {
        {pdf, false},
        {"", false},
        {"\r\n" + goldenFile(), false},                          // line 1 empty
        {goldenFile().left(kConfigLineLength) + "0\r\n", false}, // one digit too many
        {"0102 0304\r\n", false},
        {"01020G\r\n", false},
        {"\xEF\xBB\xBF" + goldenFile(), false}, // a byte-order mark is not a digit
        {goldenFile(), true},
        {goldenFile().left(36).toLower() + "\r\nописание\r\n", true},
        {goldenFile().left(kConfigLineLength) + "\n", true},
        {goldenFile().left(kConfigLineLength) + "\r", true}, // the last line ended by CR alone
        {goldenFile().left(kConfigLineLength) + " \t \r\nописание\r\n", true}, // an editor's trailing blanks
        {" \t\r\n", false},
    };
    const QStringList refused = {"Файл не является файлом конфигурации расширителя"};
    for (const auto& [bytes, opens] : cases) {
        writeAll(path("c.okf"), bytes);
        if (!opens) {
            expectOpeningChangesNothing(path("c.okf"), refused);
            continue;
        }
        ExpanderConfig record = previousRecord();
        recorder.clear();
        recorder.fileNames = {path("c.okf")};
        EXPECT_EQ(UnpackData(record, t.controls), path("c.okf"));
        EXPECT_TRUE(recorder.texts().isEmpty());
        EXPECT_TRUE(record.loadedFromFile);
    }
}

TEST_F(ConfigFileCommands, HugeAndOddDescriptionLinesAreReadWhole) {
    const QByteArray huge(8 * 1024 * 1024, 'W');
    writeAll(path("odd.okf"),
             QByteArray(kGoldenLine) + "\r\n" + huge + "\r\n" + QByteArray("n\0l", 3) + "\n");
    ExpanderConfig record = previousRecord();
    recorder.fileNames = {path("odd.okf")};
    UnpackData(record, t.controls);
    EXPECT_TRUE(recorder.texts().isEmpty());
    EXPECT_EQ(record.loopDescriptions[0].size(), huge.size());
    EXPECT_EQ(record.loopDescriptions[1], QString(QStringLiteral("n")) + QChar(0) + "l");
    EXPECT_TRUE(record.loopDescriptions[2].isEmpty());
    EXPECT_EQ(cellText(&t.loopGrid, 1, 20).size(), huge.size());
}

TEST_F(ConfigFileCommands, CancelledSaveWritesAndShowsNothing) {
    PackData(t.controls);
    EXPECT_EQ(recorder.entries.size(), 1u);
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST_F(ConfigFileCommands, ConversionErrorEndsTheSaveBeforeTheDialog) {
    setCellText(&t.loopGrid, 2, 1, "Дымовой пожарный");
    setCellText(&t.loopGrid, 2, 8, "");
    recorder.fileNames = {path("never.okf")};
    PackData(t.controls);
    ASSERT_EQ(recorder.entries.size(), 1u);
    EXPECT_EQ(recorder.entries[0].kind, DialogRecorder::Kind::Message);
    EXPECT_EQ(recorder.entries[0].caption, applicationTitle());
    EXPECT_EQ(recorder.entries[0].text, "'' is not a valid integer value");
    EXPECT_FALSE(QFile::exists(path("never.okf")));
}

TEST_F(ConfigFileCommands, SaveThatCannotCreateTheFileReportsOnce) {
    writeAll(path("plain"), "x");
    recorder.fileNames = {path("plain/inside.txt")};
    PackData(t.controls);
    ASSERT_EQ(recorder.entries.size(), 2u);
    EXPECT_EQ(recorder.entries[1].caption, "");
    EXPECT_EQ(recorder.entries[1].text, "Ошибка записи");
}

TEST_F(ConfigFileCommands, FailedWriteLeavesTheOldFileByteForByte) {
    const QByteArray old = goldenFile();
    writeAll(path("keep.okf"), old);
    ShowConfig(sampleConfig(), t.controls, true);
    setCellText(&t.loopGrid, 5, 20, QString(4000, u'ж'));
    recorder.fileNames = {path("keep.okf")};
    {
        FileSizeLimit limit(1024);
        PackData(t.controls);
    }
    EXPECT_EQ(recorder.texts(), QStringList{"Ошибка записи"});
    EXPECT_EQ(readAll(path("keep.okf")), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"keep.okf"}); // no temporary file left

    recorder.clear();
    recorder.fileNames = {path("keep.okf")};
    PackData(t.controls); // the same save without the limit succeeds
    EXPECT_TRUE(recorder.texts().isEmpty());
    EXPECT_EQ(decodeConfigFile(readAll(path("keep.okf"))).loopDescriptions[4].size(), 4000);
}

// A folder the unprivileged user may not write (root's, 0755) holding `name`, a file he may write.
QString fileInAReadOnlyFolder(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString folder = dir.filePath("read-only");
    const QString file = folder + u'/' + name;
    if (!QDir().mkdir(folder)) return {};
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) return {};
    out.close();
    const bool shared = chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0 &&
                        chmod(QFile::encodeName(folder).constData(), 0755) == 0 &&
                        chown(QFile::encodeName(file).constData(), UnprivilegedUid(), UnprivilegedGid()) == 0;
    return shared ? file : QString();
}

TEST(ConfigFile, SavingInAFolderTheUserMayNotWriteWritesTheFileInPlace) {
    QTemporaryDir dir;
    const QByteArray old = goldenFile();
    const QString file = fileInAReadOnlyFolder(dir, "keep.okf", old);
    ASSERT_FALSE(file.isEmpty());
    const QByteArray saved = encodeConfigFile(CollectedConfig{}, 0x4321);

    const UnprivilegedRun run = RunUnprivileged([&] { return writeConfigFileBytes(file, saved); });
    if (!run.ran) GTEST_SKIP() << run.reason;
    EXPECT_TRUE(run.passed) << "the save failed";
    EXPECT_EQ(readAll(file), saved);

    // Written in place, a write that fails (the disk full after 64 bytes) puts the old contents back.
    const QByteArray small = "0102\r\n";
    writeAll(file, small);
    const UnprivilegedRun full = RunUnprivileged([&] {
        FileSizeLimit limit(64);
        return !writeConfigFileBytes(file, saved);
    });
    EXPECT_TRUE(full.passed) << "a failed save was reported as done";
    EXPECT_EQ(readAll(file), small);
}

TEST_F(ConfigFileCommands, SavingFromTheShortLoopGridWritesTheHiddenDescriptions) {
    setLoopGridRows(&t.loopGrid, 20);
    ShowConfig(goldenConfig(), t.controls, true);
    recorder.fileNames = {path("short")};
    PackData(t.controls);
    EXPECT_EQ(readAll(path("short.okf")), goldenFile());
}

} // namespace
