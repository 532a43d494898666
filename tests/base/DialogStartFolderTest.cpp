#include "Unprivileged.h"
#include "base/Dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

// Installed, the program's folder is a system folder: the dialogs start where the user keeps files.
TEST(DialogStartFolder, ProgramFolderOnlyWhereTheUserMayWriteThere) {
    EXPECT_EQ(dialogStartFolder(), QCoreApplication::applicationDirPath()); // root may write anywhere

    QTemporaryDir withDocuments;
    QTemporaryDir withoutDocuments;
    ASSERT_TRUE(QDir(withDocuments.path()).mkdir("Documents"));
    for (const QTemporaryDir* home : {&withDocuments, &withoutDocuments})
        QFile::setPermissions(home->path(),
                              QFile::permissions(home->path()) | QFile::ExeOther | QFile::ReadOther);

    const UnprivilegedRun run = RunUnprivileged([&] {
        auto startsIn = [](const QString& home) {
            setenv("HOME", QFile::encodeName(home).constData(), 1);
            setenv("XDG_CONFIG_HOME", QFile::encodeName(home + "/.config").constData(), 1);
            return dialogStartFolder();
        };
        return startsIn(withDocuments.path()) == withDocuments.path() + "/Documents" &&
               startsIn(withoutDocuments.path()) == withoutDocuments.path();
    });
    if (!run.ran) GTEST_SKIP() << run.reason;
    EXPECT_TRUE(run.passed) << "an unwritable program folder did not lead to the documents or home folder";
}
