// Start-up: the time from the program's start to its main window shown, and the memory it then holds.
// Run it several times and take the median (tools/startup.sh does).
#include "app/MainForm.h"
#include "app/ProgramWindows.h"

#include <QFile>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

namespace {

// Taken while the program's static objects are made, before main() runs.
const auto processStart = std::chrono::steady_clock::now();

long residentKiB() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

TEST(StartupBench, MainWindowShown) {
    ProgramWindows windows;
    windows.main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(windows.main.get()));
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - processStart).count();
    std::printf("startup: window shown after %.1f ms, resident memory %ld KiB\n", ms, residentKiB());
}

} // namespace
