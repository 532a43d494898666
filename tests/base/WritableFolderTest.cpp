// The check that decides whether the file dialogs start in the program's folder.
#include "base/WritableFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(WritableFolder, AnswersForFoldersOnlyAndLeavesNothingBehind) {
    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("file.okf")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_TRUE(userMayWriteIn(folder.path()));
    EXPECT_FALSE(userMayWriteIn(file.fileName()));
    EXPECT_FALSE(userMayWriteIn(folder.filePath(QStringLiteral("missing"))));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("file.okf")});
}
