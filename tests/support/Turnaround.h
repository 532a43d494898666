#pragma once
#include "sim/RequestFrames.h"

#include <algorithm>
#include <cstdint>
#include <vector>

// The program's turnaround on a simulated line: from the last byte of a reply to the start byte of
// the request that follows it. Only requests that follow their reply within limitUs count, so that
// the mandated pauses of the exchanges (50 ms and more) are left out.
struct Turnaround {
    int count = 0;
    double medianMs = 0;
};

inline Turnaround turnaround(const std::vector<int64_t>& replyEndsUs,
                             const std::vector<sim::RequestFrame>& requests, int64_t limitUs) {
    std::vector<int64_t> gaps;
    for (const sim::RequestFrame& request : requests) {
        const auto after = std::upper_bound(replyEndsUs.begin(), replyEndsUs.end(), request.startUs);
        if (after == replyEndsUs.begin()) continue;
        const int64_t gap = request.startUs - *(after - 1);
        if (gap < limitUs) gaps.push_back(gap);
    }
    Turnaround t;
    t.count = static_cast<int>(gaps.size());
    if (gaps.empty()) return t;
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<long>(gaps.size() / 2), gaps.end());
    t.medianMs = static_cast<double>(gaps[gaps.size() / 2]) / 1000.0;
    return t;
}
