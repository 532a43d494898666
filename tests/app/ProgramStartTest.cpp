// The start of the program: the main window first, the key programmer window made hidden just after
// the main window's first paint, or at once when something asks for it before then.
#include "DialogRecorder.h"
#include "app/MainForm.h"
#include "app/ProgramWindows.h"
#include "config/ConfigFile.h"
#include "config/ConfigView.h"
#include "keys/TMprogrammer.h"
#include "tests/config/ConfigControlsFixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST(ProgramStart, KeyWindowIsMadeHiddenJustAfterTheMainWindowsFirstPaint) {
    DialogRecorder dialogs;
    ProgramWindows windows(ProgramWindows::KeyWindow::AfterFirstPaint);
    EXPECT_EQ(windows.keys, nullptr);
    windows.main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(windows.main.get()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return windows.keys != nullptr; }, 5000));
    ASSERT_NE(windows.keys, nullptr);
    EXPECT_FALSE(windows.keys->isVisible());
    EXPECT_EQ(&windows.keyWindow(), windows.keys.get());

    ProgramWindows early(ProgramWindows::KeyWindow::AfterFirstPaint);
    TTMwriteForm& keys = early.keyWindow(); // asked for before any paint
    EXPECT_EQ(&keys, early.keys.get());
    EXPECT_FALSE(keys.isVisible());
    EXPECT_TRUE(dialogs.entries.empty());
}

// A file named on the command line (a double-click on it) opens as "Открыть" opens the file chosen,
// with the same messages, and no dialog asks for one.
TEST(ProgramStart, ConfigurationFileNamedAtStartOpensAsOpenWould) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return file.fileName();
    };
    const ExpanderConfig sample = sampleConfig();
    const struct {
        QString path;
        bool opens;
        QStringList messages;
    } cases[] = {
        {write(QStringLiteral("объект.okf"), encodeConfigFile(collectedOf(sample), 0x4D2)), true, {}},
        {write(QStringLiteral("письмо.okf"), "Добрый день\r\n"), false,
         {QStringLiteral("Файл не является файлом конфигурации расширителя")}},
        {dir.filePath(QStringLiteral("нет.okf")), false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        DialogRecorder dialogs;
        ProgramWindows windows;
        windows.main->openConfigFile(c.path);
        EXPECT_EQ(dialogs.texts(), c.messages);
        for (const DialogRecorder::Entry& entry : dialogs.entries)
            EXPECT_NE(entry.kind, DialogRecorder::Kind::OpenFile);
        EXPECT_EQ(windows.main->config.loadedFromFile, c.opens);
        if (c.opens) EXPECT_EQ(CollectConfig(windows.main->controls().config), collectedOf(sample));
    }
}

} // namespace
