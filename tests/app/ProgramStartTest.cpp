// The start of the program: the main window first, the key programmer window made hidden just after
// the main window's first paint, or at once when something asks for it before then.
#include "DialogRecorder.h"
#include "app/MainForm.h"
#include "app/ProgramWindows.h"
#include "keys/TMprogrammer.h"

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

} // namespace
