#pragma once
#include "link/SerialLine.h"

#include <cstdint>

// Follows the frames in bytes the program throws away, so that a frame still arriving when its head
// was thrown away is thrown away whole: its rest, when it comes, is never read as a frame of its own
// (a data byte 0xFA in it would start one). The control unit's length byte counts the whole frame;
// the key-programming device's counts the bytes after the start byte.
namespace Link {

enum class Framing { ControlUnit, KeyDevice };

// The bytes of one frame follow each other closely: a rest that stops for longer than this is not
// coming, and the bytes after the pause are looked at afresh.
constexpr unsigned kTailGapMs = 50;

class FrameTail {
  public:
    explicit FrameTail(Framing framing) : framing_(framing) {}

    // Passes over bytes thrown away; the state carries on from the bytes passed over before.
    void passOver(const uint8_t* bytes, int count) {
        for (int i = 0; i < count; ++i)
            step(bytes[i]);
    }
    // A frame given up after `read` of its bytes (start byte and length byte included) came: its
    // rest is thrown away when it comes.
    void givenUpAfter(int read, uint8_t lengthByte) {
        const int total = framing_ == Framing::ControlUnit ? lengthByte : lengthByte + 1;
        left_ = total - read;
        state_ = left_ > 0 ? State::Body : State::Hunt;
    }
    // True while a frame whose head was thrown away has more bytes to come.
    bool open() const { return state_ != State::Hunt; }
    void clear() {
        state_ = State::Hunt;
        left_ = 0;
    }

  private:
    enum class State { Hunt, Length, Body };
    static constexpr uint8_t kStart = 0xFA;

    void step(uint8_t b) {
        switch (state_) {
        case State::Hunt:
            if (b == kStart) state_ = State::Length;
            return;
        case State::Length:
            // A length byte no frame can have ends nothing: the bytes after it are looked at afresh.
            left_ = framing_ == Framing::ControlUnit ? b - 2 : b - 1;
            state_ = left_ > 0 && b >= (framing_ == Framing::ControlUnit ? 4 : 2) ? State::Body : State::Hunt;
            return;
        case State::Body:
            if (--left_ == 0) state_ = State::Hunt;
            return;
        }
    }

    Framing framing_;
    State state_ = State::Hunt;
    int left_ = 0;
};

// The purge of a line's receive queue: what waits is read first and followed frame by frame, so
// that a frame still arriving is thrown away whole when its rest comes. Returns how many bytes it
// threw away.
int purgeFollowingFrames(SerialLine& line, FrameTail& tail);

} // namespace Link
