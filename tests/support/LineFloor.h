#pragma once
// The least time the protocol allows for the exchanges a simulated control unit recorded: the
// mandated pauses plus the line time of every frame that does not travel during one, at 57600 baud;
// and the CPU time of the calling thread. Shared by the benchmarks of procedures on the line.
#include "link/Access.h"
#include "sim/ControlUnitSim.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

constexpr double kByteMs = 10.0 * 1000.0 / 57600.0; // 10 bits a byte at 57600 baud

double threadCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

struct LeastTime {
    double pausesMs = 0;
    int pauses = 0;
    double requestBytes = 0; // frames that travel outside a pause
    double replyBytes = 0;
    // The pauses, and every frame that does not travel during one. The simulator paces both ways,
    // so this is also the least time on the simulated line.
    double totalMs() const { return pausesMs + (requestBytes + replyBytes) * kByteMs; }
};

// The least time of the exchanges recorded. A request answered at once (access, table blocks,
// descriptor texts, relayed reads) costs its frame and its 6-byte or longer reply on the line, and
// a relayed read then its pause (200 ms parameters, 500 ms users, 300 ms partitions). A fetch costs
// its 50 ms pause: the fetch frame and the answer (at most 37 bytes, 6.4 ms) travel during it, and
// so does a user or partition frame written just before it. The parameter block and a descriptor
// are followed by 300 ms in which their frames (and the descriptor's reply) travel.
LeastTime leastTime(const sim::ControlUnitSim& unit) {
    LeastTime least;
    const auto answered = [&least](const sim::ControlUnitSim::Frame& f, size_t replyBytes, double pauseMs) {
        least.requestBytes += f.bytes.size();
        least.replyBytes += replyBytes;
        least.pausesMs += pauseMs;
        least.pauses += pauseMs > 0;
    };
    for (const sim::ControlUnitSim::Frame& f : unit.frames()) {
        switch (f.command()) {
        case Command::Access:
            answered(f, 6, 0);
            break;
        case Command::ReadDescriptor:
            answered(f, 6 + unit.descriptorText(f.bytes[3]).size() + 1, 0);
            break;
        case Command::DescriptorTable:
        case Command::ExpanderTable:
            answered(f, 38, 0);
            break;
        case Command::WriteDescriptor:
            least.pausesMs += 300;
            ++least.pauses;
            break;
        case Command::Fetch:
            least.pausesMs += 50;
            ++least.pauses;
            break;
        case Command::Relay:
            switch (f.bytes[4]) {
            case ExpanderCommand::ReadParameters:
                answered(f, 6, 200);
                break;
            case ExpanderCommand::ReadPartitions:
                answered(f, 6, 300);
                break;
            case ExpanderCommand::ReadUsers:
                answered(f, 6, 500);
                break;
            case ExpanderCommand::WriteParameters:
                least.pausesMs += 300;
                ++least.pauses;
                break;
            default: // partition and user writes travel in the pause of their fetch
                break;
            }
            break;
        default:
            break;
        }
    }
    return least;
}

// A procedure on the paced line cannot take less than the least time: a ratio below 1 is a pause cut
// short or a frame that never travelled (or a floor that counts too much). Only this bound is checked;
// how far above it a run lands depends on the machine.
void expectNotBelowTheFloor(const char* what, double wallMs, double leastMs) {
    EXPECT_GE(wallMs / leastMs, 1.0) << what << ": " << wallMs << " ms, below the least " << leastMs
                                     << " ms the protocol allows";
}

} // namespace
