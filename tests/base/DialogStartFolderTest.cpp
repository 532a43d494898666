#include "Unprivileged.h"
#include "base/Dialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
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

// The toolkit's folder dialog takes the proposed folder as it stands: Enter chooses it, made for
// the purpose; a cancelled dialog leaves no folder behind, and an existing one is kept as it was.
TEST(FolderDialog, TakesTheProposedFolderWithEnter) {
    QTemporaryDir start;
    ASSERT_TRUE(QDir(start.path()).mkpath("kept/inside"));
    struct Case {
        const char* proposed;
        Qt::Key key;
        bool chosen, remains;
    } cases[] = {
        {"COM1 2026-12-08", Qt::Key_Return, true, true},
        {"COM2 2026-12-08", Qt::Key_Escape, false, false},
        {"kept", Qt::Key_Escape, false, true},
    };
    DialogService* previous = installDialogs(nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proposed);
        QTimer::singleShot(0, [key = c.key] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_TRUE(dialog);
            QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, key);
        });
        // A dialog still open after the key (a refusal, say) is closed, so that the test fails
        // instead of waiting.
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [] {
            if (QWidget* open = QApplication::activeModalWidget()) open->close();
        });
        closer.start(300);
        const QString chosen = dialogs().folderName(start.path(), c.proposed);
        closer.stop();
        const QString path = QDir(start.path()).filePath(c.proposed);
        EXPECT_EQ(QFileInfo(chosen) == QFileInfo(path), c.chosen) << chosen.toStdString();
        EXPECT_EQ(QFileInfo(path).isDir(), c.remains);
    }
    EXPECT_TRUE(QDir(start.path()).exists("kept/inside"));
    installDialogs(previous);
}
