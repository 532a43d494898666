// The check that decides whether the file dialogs start in the program's folder.
#include "base/WritableFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(WritableFolder, AnswersForFoldersOnlyAndLeavesNothingBehind) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile file(folder.filePath(QStringLiteral("file.okf")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const struct {
        QString path;
        bool writable;
    } cases[] = {
        {folder.path(), true},
        {folder.filePath(QStringLiteral("file.okf")), false},
        {folder.filePath(QStringLiteral("missing")), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(userMayWriteIn(c.path), c.writable) << c.path.toStdString();
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("file.okf")});
}

} // namespace
