// How close the exchanges come to the least time the line allows, and what the waiting costs.
// The simulated control unit runs at line speed (57600 baud, 10 bits a byte, both ways); the program
// waits on the port and wakes when bytes arrive. Prints figures; it asserts only that every exchange
// succeeded and that none took less than the line allows.
#include "DialogRecorder.h"
#include "LineFloor.h"
#include "TestPorts.h"
#include "Turnaround.h"
#include "base/Clock.h"
#include "link/Access.h"
#include "link/Link.h"
#include "link/PortNames.h"
#include "sim/ControlUnitSim.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

struct Figures {
    const char* what;
    int count;
    double wallMs;
    double cpuMs;
    double leastMs; // per exchange
};

void print(const Figures& f) {
    const double perExchange = f.wallMs / f.count;
    std::printf("%-34s %4d exchanges  wall %7.2f ms each  least %7.2f ms  overhead %+6.2f ms  ratio %.4f  "
                "CPU %5.2f %% of a core\n",
                f.what, f.count, perExchange, f.leastMs, perExchange - f.leastMs, perExchange / f.leastMs,
                100.0 * f.cpuMs / f.wallMs);
    expectNotBelowTheFloor(f.what, perExchange, f.leastMs);
}

TEST(LinkBench, RoundTripsAtLineSpeed) {
    DialogRecorder dialogs;
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    setPortFolder(folder.path());
    sim::ControlUnitSim unit;
    sim::ControlUnitSim::Expander e;
    e.configured = true;
    e.parameters.fill(0x5A);
    unit.setExpander(0, e);
    unit.setPacing(true);
    ASSERT_TRUE(unit.start());
    ASSERT_TRUE(unit.linkAs((folder.path() + "/ttyS0").toStdString()));
    ASSERT_TRUE(Link::OpenPort(QStringLiteral("COM1")));

    // SendRequest: a short request of 7 bytes, a table block of 38 bytes back, no pause.
    const int requests = 200;
    unit.clearFrames();
    unit.clearReceived();
    QElapsedTimer timer;
    double cpu = threadCpuMs();
    timer.start();
    int ok = 0;
    for (int i = 0; i < requests; ++i)
        ok += Link::SendRequest(Command::ExpanderTable, static_cast<uint8_t>(i % 8), 0, 0, 0);
    const Figures sendFigures{"SendRequest (7 bytes out, 38 back)", requests,
                              static_cast<double>(timer.nsecsElapsed()) / 1e6, threadCpuMs() - cpu,
                              (7 + 38) * kByteMs};
    EXPECT_EQ(ok, requests);
    const Turnaround sendTurnaround = turnaround(unit.sendEndsUs(), unit.frames(), 10000);

    // FetchReply: the fetch frame (5 bytes), the 50 ms pause, the parameter block (24 bytes) back.
    // The reply travels during the pause, so the least time is the longer of the two.
    ASSERT_TRUE(Link::SendRequest(Command::Relay, lineAddress(0), ExpanderCommand::ReadParameters, 0, 0));
    const int fetches = 50;
    cpu = threadCpuMs();
    timer.restart();
    ok = 0;
    for (int i = 0; i < fetches; ++i)
        ok += Link::FetchReply(ExpanderCommand::ReadParameters);
    const Figures fetchFigures{"FetchReply (5 out, 50 ms, 24 back)", fetches,
                               static_cast<double>(timer.nsecsElapsed()) / 1e6, threadCpuMs() - cpu,
                               std::max<double>(Link::kFetchPauseMs, (5 + 24) * kByteMs)};
    EXPECT_EQ(ok, fetches);
    EXPECT_TRUE(dialogs.entries.empty());

    std::printf(
        "\nLine 57600 baud, %.3f ms a byte; least = mandated pauses + line time of every byte both ways.\n",
        kByteMs);
    print(sendFigures);
    std::printf("%-34s %4d requests   median %.3f ms from a reply's last byte to the next request\n",
                "turnaround", sendTurnaround.count, sendTurnaround.medianMs);
    print(fetchFigures);
    std::printf("Aim: turnaround below 0.2 ms, CPU below 2 %% of a core.\n\n");

    Link::ClosePort();
    unit.stop();
    setPortFolder(EmptyPortFolder());
}

} // namespace
