// The key descriptions file: its exact lines, the order of the lines, reading lines back by the
// positions of their words, and saving that never destroys the file it replaces.
#include "keys/KeyDescriptionsFile.h"
#include "FileSizeLimit.h"
#include "Unprivileged.h"
#include "base/Text1251.h"
#include "keys/KeyTexts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace File = KeyDescriptionsFile;

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

// A key grid given as (column, row) -> text; every other cell is empty.
File::CellTextOf gridOf(std::map<std::pair<int, int>, QString> cells) {
    return [cells](int column, int row) {
        const auto it = cells.find({column, row});
        return it == cells.end() ? QString() : it->second;
    };
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

TEST(KeyDescriptionsFile, BytesOfTheLines) {
    // Heading "Задействованы следующие ключи:" in code page 1251.
    const QByteArray heading = hex("C7E0E4E5E9F1F2E2EEE2E0EDFB20F1EBE5E4F3FEF9E8E520EAEBFEF7E83A") + "\r\n";
    EXPECT_EQ(File::fileBytes({}), heading) << "a grid without keys gives the heading only";

    File::Descriptions descriptions;
    descriptions[101] = QStringLiteral("Вахта");
    const auto grid = gridOf({{{2, 5}, KeyTexts::present()},         // expander 2, user 5, key 1
                              {{4, 12}, KeyTexts::threeExpanders()}, // three expanders, user 12, key 2
                              {{1, 1}, KeyTexts::absent()},
                              {{5, 30}, QStringLiteral("что-то ещё")}});
    // Expander 1 (where the three-expander keys stand) comes before expander 2.
    const QByteArray expected = heading +
                                // "на три расш. польз.12 ключ2  Вахта"
                                hex("EDE020F2F0E820F0E0F1F82E20") + hex("EFEEEBFCE72E") + "12 " +
                                hex("EAEBFEF7") + "2  " + hex("C2E0F5F2E0") + "\r\n" +
                                // "расш.2 польз.5  ключ1  "
                                hex("F0E0F1F82E") + "2 " + hex("EFEEEBFCE72E") + "5  " + hex("EAEBFEF7") +
                                "1  \r\n";
    EXPECT_EQ(File::fileBytes(File::keyLines(grid, descriptions)).toHex().toStdString(),
              expected.toHex().toStdString());
}

TEST(KeyDescriptionsFile, LinesFollowExpanderThenUserThenKey) {
    File::Descriptions d;
    for (int s = 0; s < 180; ++s)
        d[size_t(s)] = QString::number(s);
    const auto grid = gridOf({{{2, 1}, KeyTexts::present()}, // e2 u1 k1, slot 30
                              {{1, 2}, KeyTexts::present()}, // e1 u2 k1, slot 1
                              {{4, 1}, KeyTexts::present()}, // e1 u1 k2, slot 90
                              {{1, 1}, KeyTexts::threeExpanders()},
                              {{6, 30}, KeyTexts::present()}, // e3 u30 k2, slot 179
                              {{3, 3}, KeyTexts::absent()}});
    const QStringList expected{
        QStringLiteral("на три расш. польз.1  ключ1  0"), QStringLiteral("расш.1 польз.1  ключ2  90"),
        QStringLiteral("расш.1 польз.2  ключ1  1"),       QStringLiteral("расш.2 польз.1  ключ1  30"),
        QStringLiteral("расш.3 польз.30 ключ2  179"),
    };
    EXPECT_EQ(File::keyLines(grid, d), expected);
}

TEST(KeyDescriptionsFile, LinesAreTakenApartByThePositionsOfTheirWords) {
    struct Case {
        const char* name;
        QString line;
        int slot; // -1: skipped
        QString description;
    };
    const Case cases[] = {
        {"single expander", QStringLiteral("расш.2 польз.5  ключ1  Иванов"), 34, QStringLiteral("Иванов")},
        {"three expanders", QStringLiteral("на три расш. польз.12 ключ2  "), 101, QString()},
        {"spaces kept", QStringLiteral("расш.1 польз.1  ключ1    два  "), 0, QStringLiteral("  два  ")},
        {"description naming three expanders", QStringLiteral("расш.3 польз.7  ключ2  на три расш."), 96,
         QStringLiteral("на три расш.")},
        {"'на три расш.' later in the line", QStringLiteral("польз.7  ключ2  x на три расш."), 96,
         QStringLiteral("x на три расш.")},
        {"two-digit user", QStringLiteral("расш.3 польз.30 ключ2  z"), 179, QStringLiteral("z")},
        {"one digit then a letter", QStringLiteral("расш.1 польз.4x ключ1  q"), 3, QStringLiteral("q")},
        {"space before the user", QStringLiteral("расш.1 польз. 4 ключ1  q"), 3, QStringLiteral("q")},
        {"line ending after the key", QStringLiteral("расш.1 польз.1  ключ1"), 0, QString()},
        {"description with the key word", QStringLiteral("расш.1 польз.1  ключ2  ключ1"), 90,
         QStringLiteral("ключ1")},
        {"words in any order", QStringLiteral("xx ключ1  расш.2 польз.3"), 32,
         QStringLiteral("расш.2 польз.3")},
        {"user 31", QStringLiteral("расш.1 польз.31 ключ1  a"), -1, QString()},
        {"user 0", QStringLiteral("расш.1 польз.0  ключ1  a"), -1, QString()},
        {"expander 4", QStringLiteral("расш.4 польз.1  ключ1  a"), -1, QString()},
        {"key 3", QStringLiteral("расш.1 польз.1  ключ3  a"), -1, QString()},
        {"no key word", QStringLiteral("расш.1 польз.1  a"), -1, QString()},
        {"no user word", QStringLiteral("расш.1 ключ1  a"), -1, QString()},
        {"signed user", QStringLiteral("расш.1 польз.-1 ключ1  a"), -1, QString()},
        {"heading", QStringLiteral("Задействованы следующие ключи:"), -1, QString()},
        {"empty line", QString(), -1, QString()},
    };
    for (const Case& c : cases) {
        const auto parsed = File::parseKeyDescriptionLine(c.line);
        if (c.slot < 0) {
            EXPECT_FALSE(parsed.has_value()) << c.name;
            continue;
        }
        ASSERT_TRUE(parsed.has_value()) << c.name;
        EXPECT_EQ(parsed->slot, c.slot) << c.name;
        EXPECT_EQ(parsed->description, c.description) << c.name;
    }
    // "расш.1 польз.1  ключ1" at other positions of a line: the digit after "ключ" reads one position
    // on, the description starts three positions after it.
    const auto shifted = File::parseKeyDescriptionLine(QStringLiteral("  расш.2 польз.9  ключ2  desc"));
    ASSERT_TRUE(shifted.has_value());
    EXPECT_EQ(shifted->slot, KeyLink::slotOf(2, 2, 9));
    EXPECT_EQ(shifted->description, QStringLiteral("desc"));
}

TEST(KeyDescriptionsFile, ExtensionBecomesTxt) {
    const std::pair<QString, QString> cases[] = {
        {"/a/b/keys.doc", "/a/b/keys.txt"},
        {"/a/b/keys", "/a/b/keys.txt"},
        {"/a/b.dir/keys", "/a/b.dir/keys.txt"},
        {"/a/keys.tar.gz", "/a/keys.tar.txt"},
        {"/a/keys.txt", "/a/keys.txt"},
        {"/a/keys.", "/a/keys.txt"},
        {"keys.TXT", "keys.txt"},
    };
    for (const auto& [chosen, expected] : cases)
        EXPECT_EQ(File::withTxtExtension(chosen), expected) << chosen.toStdString();
}

TEST(KeyDescriptionsFile, SavedDescriptionsReadBackExactly) {
    QTemporaryDir dir;
    const QString path = dir.filePath("keys.txt");
    File::Descriptions saved;
    std::map<std::pair<int, int>, QString> cells;
    for (int slot = 0; slot < 180; slot += 7) {
        saved[size_t(slot)] = QStringLiteral("  ключ №%1 — польз.9 расш.3  ").arg(slot);
        cells[{KeyLink::columnOfSlot(slot), KeyLink::rowOfSlot(slot)}] = KeyTexts::present();
    }
    saved[3] = QStringLiteral("not listed");
    cells[{1, 4}] = KeyTexts::absent();
    saved[96] = QStringLiteral("три"); // user 7 key 2: listed as a three-expander key
    cells[{4, 7}] = KeyTexts::threeExpanders();

    ASSERT_TRUE(File::writeFile(path, File::fileBytes(File::keyLines(gridOf(cells), saved))));

    File::Descriptions loaded;
    loaded[3] = QStringLiteral("kept");
    loaded[5] = QStringLiteral("kept too");
    ASSERT_TRUE(File::readFile(path, loaded));
    for (int slot = 0; slot < 180; ++slot) {
        if (slot == 3 || slot == 5)
            EXPECT_EQ(loaded[size_t(slot)], slot == 3 ? QStringLiteral("kept") : QStringLiteral("kept too"));
        else
            EXPECT_EQ(loaded[size_t(slot)], saved[size_t(slot)]) << slot;
    }
}

TEST(KeyDescriptionsFile, ReadingAcceptsBareLineFeedsAndALastLineWithoutEnd) {
    QTemporaryDir dir;
    const QString path = dir.filePath("k.txt");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(toCp1251(QStringLiteral("Задействованы следующие ключи:\nрасш.1 польз.2  ключ1  a\r\n"
                                    "расш.1 польз.3  ключ1  b")));
    f.close();
    File::Descriptions d;
    ASSERT_TRUE(File::readFile(path, d));
    EXPECT_EQ(d[1], QStringLiteral("a"));
    EXPECT_EQ(d[2], QStringLiteral("b"));
}

TEST(KeyDescriptionsFile, ReadErrorWhenTheFileCannotBeRead) {
    QTemporaryDir dir;
    File::Descriptions d;
    EXPECT_FALSE(File::readFile(dir.path(), d)); // a folder
    EXPECT_FALSE(File::readFile(dir.filePath("missing.txt"), d));
}

TEST(KeyDescriptionsFile, FailedSaveLeavesTheOldFileAsItWas) {
    QTemporaryDir dir;
    const QString path = dir.filePath("keys.txt");
    const QByteArray old = "old contents\r\n";
    const auto bytesFor = [](int descriptionLength) {
        std::map<std::pair<int, int>, QString> cells;
        File::Descriptions d;
        for (int slot = 0; slot < 180; ++slot) {
            d[size_t(slot)] = QString(descriptionLength, QChar(u'x'));
            cells[{KeyLink::columnOfSlot(slot), KeyLink::rowOfSlot(slot)}] = KeyTexts::present();
        }
        return File::fileBytes(File::keyLines(gridOf(cells), d));
    };
    // The disk fills up after `room` bytes. A file larger than the write buffer fails in a write; a
    // smaller one only in the final flush, which the commit alone would not notice.
    struct Case {
        const char* name;
        rlim_t room;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"fails while writing", 4096, bytesFor(200)},
        {"fails in the final flush", 1024, bytesFor(0)},
    };
    for (const Case& c : cases) {
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(old);
        }
        ASSERT_GT(c.bytes.size(), qsizetype(c.room)) << c.name;
        bool written = false;
        {
            FileSizeLimit limit(c.room);
            written = File::writeFile(path, c.bytes);
        }

        EXPECT_FALSE(written) << c.name;
        EXPECT_EQ(readAll(path), old) << c.name;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keys.txt"})
            << c.name << ": no temporary file is left behind";

        // With room enough the same bytes are written whole.
        ASSERT_TRUE(File::writeFile(path, c.bytes)) << c.name;
        EXPECT_EQ(readAll(path), c.bytes) << c.name;
    }
    // Into a folder that does not exist: fails.
    EXPECT_FALSE(File::writeFile(dir.filePath("no/such/folder/k.txt"), "x"));
}

TEST(KeyDescriptionsFile, SavesInPlaceInAFolderTheUserMayNotWrite) {
    // The folder is root's (0755); the file in it belongs to the unprivileged user.
    QTemporaryDir dir;
    const QString folder = dir.filePath("read-only");
    const QString path = folder + "/keys.txt";
    ASSERT_TRUE(QDir().mkdir(folder));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old contents\r\n");
    }
    ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    ASSERT_EQ(chmod(QFile::encodeName(folder).constData(), 0755), 0);
    ASSERT_EQ(chown(QFile::encodeName(path).constData(), UnprivilegedUid(), UnprivilegedGid()), 0);
    const QByteArray bytes = File::fileBytes({File::singleExpanderLine(2, 5, 1, "Склад")});

    const UnprivilegedRun run = RunUnprivileged([&] { return File::writeFile(path, bytes); });
    if (!run.ran) GTEST_SKIP() << run.reason;
    EXPECT_TRUE(run.passed) << "the save failed";
    EXPECT_EQ(readAll(path), bytes);
}
