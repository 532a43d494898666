#pragma once
#include "base/Clock.h"
#include "base/Dialogs.h"
#include "link/SerialLine.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// What every fuzz target of the serial receivers needs: a clock that advances on every sleep (so a
// deadline costs no wall time), a dialog service that shows nothing, and a line that hands out the
// fuzzer's bytes in pieces of varying size.
namespace fuzz {

class VirtualClock : public Clock::Backend {
  public:
    uint32_t ticks() override { return now; }
    void sleepMs(unsigned ms) override { now += ms; }
    void pumpEvents() override {}
    uint32_t now = 1000;
};

class SilentDialogs : public DialogService {
  public:
    void message(const QString&, const QString&, MessageIcon) override { ++messages; }
    bool question(const QString&, const QString&, MessageIcon, bool) override { return false; }
    QString openFileName(const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&) override { return {}; }
    QString folderName(const QString&, const QString&) override { return {}; }
    int messages = 0;
};

// Installs the virtual clock and the silent dialogs, at the start of every input. Each input starts
// from a fresh clock, so that what an input does never depends on the inputs before it (one clock for
// the whole run reached the tick counter's wrap after some 1.6 million inputs).
inline void installQuietEnvironment() {
    static VirtualClock clock;
    static SilentDialogs silent;
    static const bool installed = (Clock::install(&clock), installDialogs(&silent), true);
    (void)installed;
    clock = VirtualClock();
}

// Serves the bytes after the first one; the first byte chooses how many bytes a read may bring
// (1..8, or all that is asked) and how often a read brings nothing.
class FuzzLine : public SerialLine {
  public:
    FuzzLine(const uint8_t* data, size_t size) {
        if (size > 0) {
            pattern_ = data[0];
            bytes_.assign(data + 1, data + size);
        }
    }
    int read(uint8_t* into, int max) override {
        ++reads_;
        if (at_ >= bytes_.size() || max <= 0) return 0;
        if ((pattern_ & 0x80) && reads_ % ((pattern_ & 0x07) + 2) == 0)
            return 0; // a poll on which nothing has arrived yet
        const size_t piece = (pattern_ & 0x08) ? static_cast<size_t>(max) : (pattern_ & 0x07) + 1u;
        const size_t n = std::min({piece, static_cast<size_t>(max), bytes_.size() - at_});
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), n, into);
        at_ += n;
        return static_cast<int>(n);
    }
    bool write(const uint8_t*, int) override { return true; }
    void purgeInput() override {
        if (pattern_ & 0x40) at_ = bytes_.size();
    }
    void purgeOutput() override {}
    bool exhausted() const { return at_ >= bytes_.size(); }

  private:
    std::vector<uint8_t> bytes_;
    size_t at_ = 0;
    unsigned reads_ = 0;
    uint8_t pattern_ = 0;
};

} // namespace fuzz
