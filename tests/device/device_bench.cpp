// Benchmark: a full read of an expander, the comparison's read of it (the same read into a record
// of its own), and a full programming run (every item sent, as after a file open) against the
// simulated control unit pacing its replies at 57600 baud. Prints the wall time, the least time the
// protocol allows (mandated pauses plus the line time of every frame both ways), their ratio, the
// program's median turnaround (from the last byte of a reply to the next request, where no pause lies
// between) and the CPU time of the program's thread as a share of one core. Aim: ratio at most 1.005,
// turnaround below 0.2 ms, CPU below 2 % of a core. Fails only on a ratio below 1.

#include "LineFloor.h"
#include "SessionFixture.h"
#include "Turnaround.h"

#include "base/Text1251.h"
#include "compare/DeviceSide.h"
#include "journal/JournalModel.h"
#include "journal/JournalWindow.h"
#include "journal/Recorder.h"
#include "link/LineTap.h"

#include <QElapsedTimer>
#include <QTableView>
#include <cstdio>

namespace {

class DeviceBench : public SessionTest {
  protected:
    DeviceBench() { clock.release(); } // the line's real time is what is measured
    template <typename Procedure> void measure(const char* name, Procedure procedure) {
        unit.clearFrames();
        unit.clearReceived();
        dialogs.clear();
        QElapsedTimer wall;
        const double cpuBefore = threadCpuMs();
        wall.start();
        procedure();
        const double wallMs = wall.nsecsElapsed() / 1e6;
        const double cpuMs = threadCpuMs() - cpuBefore;
        const LeastTime least = leastTime(unit);
        const double leastMs = least.totalMs();
        const Turnaround t = turnaround(unit.sendEndsUs(), unit.frames(), 10000);
        std::printf(
            "%-12s frames %3zu  wall %7.1f ms  least %7.1f ms  ratio %.4f  turnaround %.3f ms (median of "
            "%d)  CPU %5.1f ms = %.2f %% of one core\n",
            name, unit.frames().size(), wallMs, leastMs, wallMs / leastMs, t.medianMs, t.count, cpuMs,
            100.0 * cpuMs / wallMs);
        std::fflush(stdout);
        expectNotBelowTheFloor(name, wallMs, leastMs);
    }
    void readAndProgram();
};

// Both runs, once as the program runs by default and once with the exchange journal recording and
// its window open and following the newest row: recording must cost the line nothing.
void DeviceBench::readAndProgram() {
    // Expander 5 with a text descriptor on each loop, so the read asks for all eight.
    for (int n = 0; n < 8; ++n) {
        unit.setDescriptorSlot(5 * 8 + n, static_cast<uint8_t>(n));
        unit.setDescriptorText(n, toCp1251(QStringLiteral("Шлейф %1 склад").arg(n + 1)).toStdString());
    }
    ASSERT_NO_FATAL_FAILURE(connectWith({5}));
    unit.setPacing(true);

    measure("read", [this] { session->readExpander(); });
    EXPECT_EQ(dialogs.texts(), QStringList());
    measure("comparison", [this] { EXPECT_TRUE(Compare::readDeviceSide(*session, controls)); });
    EXPECT_EQ(dialogs.texts(), QStringList());

    config.loadedFromFile = true;
    measure("programming", [this] { session->programExpander(); });
    EXPECT_EQ(dialogs.texts(), QStringList{"Программирование расширителя успешно завершено"});
    EXPECT_EQ(relayed(ExpanderCommand::WriteUser).size(), 31u);
    EXPECT_EQ(unit.framesOf(Command::WriteDescriptor).size(), 8u);
}

TEST_F(DeviceBench, FullReadAndFullProgrammingAt57600Baud) {
    readAndProgram();
}

TEST_F(DeviceBench, TheSameWithTheJournalRecordingAndFollowing) {
    Link::ClosePort(); // the journal sees the port from its opening on
    Journal::startRecording();
    Journal::JournalWindow& window = Journal::showJournalWindow();
    readAndProgram();
    const Journal::Recorder& journal = Journal::recorder();
    std::printf("journal      rows %llu, the view at row %d of %d\n",
                static_cast<unsigned long long>(journal.endSeq() - journal.firstSeq()),
                window.table()->rowAt(window.table()->viewport()->height() - 1) + 1,
                window.model()->rowCount());
    window.close();
    Link::installTap(nullptr);
}

} // namespace
