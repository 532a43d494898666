// Feeds arbitrary traffic to the exchange journal: bytes written, read and purged in any order, then
// every cell of every row and both saved forms made from what it recorded. A second journal plays
// the fuzzer's choices as traffic around known codes and must keep none of their bytes.
#include "CodeTraffic.h"
#include "FuzzSupport.h"
#include "journal/Recorder.h"
#include "journal/RowText.h"
#include "journal/Writers.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

void playRaw(const uint8_t* data, size_t size) {
    Journal::Recorder journal;
    int64_t us = 0;
    for (size_t at = 0; at + 1 < size;) {
        const uint8_t op = data[at];
        const size_t count = std::min<size_t>(data[at + 1] % 80, size - at - 2);
        const uint8_t* bytes = data + at + 2;
        us += (op >> 3) * 1000;
        switch (op & 3) {
        case 0:
            journal.sentAt(us, bytes, static_cast<int>(count));
            break;
        case 1:
            journal.receivedAt(us, bytes, static_cast<int>(count));
            break;
        case 2:
            journal.purgedAt(us, bytes, static_cast<int>(count));
            break;
        default:
            journal.settle(us + 2'000'000);
            break;
        }
        at += 2 + count;
    }
    journal.settle(us + 2'000'000);
    for (uint64_t seq = journal.firstSeq(); seq < journal.endSeq(); ++seq)
        for (int c = 0; c < Journal::kColumns; ++c)
            Journal::cellText(journal, journal.row(seq), c);
    Journal::journalText(journal);
    Journal::journalCapture(journal);
}

void playAroundCodes(const uint8_t* data, size_t size) {
    Journal::Recorder journal;
    size_t at = 0;
    codetraffic::Player(journal, [&](int n) { return at < size ? data[at++] % n : 0; })
        .play(static_cast<int>(size / 2));
    const QString where = codetraffic::leak(journal);
    if (!where.isEmpty()) {
        std::fprintf(stderr, "a code byte was kept: %s\n", where.toUtf8().constData());
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::installQuietEnvironment();
    playRaw(data, size);
    playAroundCodes(data, size);
    return 0;
}
