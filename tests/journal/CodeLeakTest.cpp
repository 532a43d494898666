// No code reaches the journal, whatever the line does around it: random traffic around known codes
// (noise, echoes, cuts at every offset, pieces, re-fetches, late rests, purges, the port lost), then
// no code byte in any row, cell, saved file, copied text or buffer of the recorder.
#include "CodeTraffic.h"

#include <gtest/gtest.h>

#include <random>

TEST(JournalCodes, NoCodeByteIsKeptUnderAnyTraffic) {
    for (unsigned seed = 1; seed <= 4000; ++seed) {
        std::mt19937 random(seed);
        Journal::Recorder journal;
        codetraffic::Player(journal, [&random](int n) { return static_cast<int>(random() % unsigned(n)); })
            .play(40);
        const QString where = codetraffic::leak(journal);
        ASSERT_TRUE(where.isEmpty()) << "seed " << seed << ": " << where.toStdString();
    }
}
