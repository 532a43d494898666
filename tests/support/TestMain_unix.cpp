#include "SerialLocks.h"
#include "TestPorts.h"
#include "link/PortNames.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

// Every test binary runs with a QApplication (window tests run on the offscreen platform) and a
// watchdog: a test that blocks on a modal dialog or a wait that never ends fails the run instead of
// hanging the suite. A run that ends on a signal leaves no serial-port lock file behind. No test
// reaches a serial port of the machine: their ports are made in folders of their own, and an open of
// one of the machine's serial devices fails the test that tries it. Nor does a test see or write the
// machine's serial lock folder, or the user's home: the process takes its own of both first.
namespace {

bool machinePort(const QString& path) {
    static const QRegularExpression serialDevice(QStringLiteral("^/dev/tty(S|USB|ACM|AMA)"));
    const QFileInfo file(path);
    for (const QString& named : {QDir::cleanPath(path), file.symLinkTarget(), file.canonicalFilePath()})
        if (serialDevice.match(named).hasMatch()) return true;
    return false;
}

// ORTEX_TEST_REFUSE_PORTS=1 refuses every open, as on a machine whose ports other programs hold: the
// tests that need a port fail then, and none may crash or hang on it.
bool keepOffMachinePorts(const QString& devicePath) {
    static const bool refuseAll = qEnvironmentVariableIntValue("ORTEX_TEST_REFUSE_PORTS") == 1;
    if (refuseAll) return false;
    if (!machinePort(devicePath)) return true;
    ADD_FAILURE() << "a test tried to open the machine's own port " << devicePath.toStdString()
                  << "; a test makes its ports in a folder of its own";
    return false;
}

// A home of the run's own: what the toolkit keeps for the user (the file dialog's last folder, say),
// for the test and for the programs it starts, goes there and never to the user's home.
void useTemporaryHome() {
    static const QTemporaryDir home(QDir::tempPath() + QStringLiteral("/ortex-home-XXXXXX"));
    qputenv("HOME", QFile::encodeName(home.path()));
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
        qunsetenv(variable);
}

void onAlarm(int) {
    const char text[] = "\nwatchdog: a test ran longer than its limit (a modal dialog or an endless wait?)\n";
    (void)!write(2, text, sizeof text - 1);
    RemoveOwnSerialLocks();
    _exit(3);
}

void onFatalSignal(int signal) {
    RemoveOwnSerialLocks();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// ORTEX_TEST_TIMEOUT sets the limit of a test in seconds; 0 sets none, for a long run that ctest's
// own time-out bounds.
class Watchdog : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override { alarm(limitSeconds()); }
    void OnTestEnd(const testing::TestInfo&) override { alarm(0); }
    static unsigned limitSeconds() {
        const char* text = std::getenv("ORTEX_TEST_TIMEOUT");
        return text ? static_cast<unsigned>(std::atoi(text)) : 120;
    }
};

} // namespace

int main(int argc, char** argv) {
    if (!TakeOwnLockFolder())
        std::fputs(
            "test start: no lock folder of its own could be had; the tests' ports lock in the machine's\n",
            stderr);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    useTemporaryHome();
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    setPortFolder(EmptyPortFolder());
    setPortOpenCheck(keepOffMachinePorts);
    std::signal(SIGALRM, onAlarm);
    for (int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGINT, SIGTERM})
        std::signal(signal, onFatalSignal);
    testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
    return RUN_ALL_TESTS();
}
