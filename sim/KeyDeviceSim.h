#pragma once
#include "sim/PtyDevice.h"
#include "sim/RequestFrames.h"

#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace sim {

// A simulated key-programming device, served on a pseudo-terminal.
//
// It keeps three tables: the single-expander keys of key 1 and key 2 (one bit per slot 0..179,
// slot = (key - 1) * 90 + (expander - 1) * 30 + (user - 1)) and the three-expander keys (one bit per
// key and user). It answers the table reads (command 2), arms a write (command 3 with a slot and an
// expander 1..3, or 0 for a three-expander key), deletes (command 3 with 0xFF as expander), cancels
// (command 3 with 0xFF as slot) and takes a declined re-programming back (command 3 with 0xFE). A
// test touches a key to it with touchNewKey() or touchKeyRecordedIn(); the device then sends an
// unasked report whose R[10] is the slot the key was recorded in before, or 0xFF.
//
// Every reply is a frame FA, N = 38, status, 35 data bytes, check byte (the low 8 bits of the sum
// of N, status and data): 39 bytes on the line. The control unit's access request (command 0,
// short or long form) is answered with such a frame with status 5, which is how the configurator
// recognises this device.
//
// It keeps its own framing and check code, apart from the program's. Every setter and accessor is
// safe to call from the test thread while the device serves the line.
class KeyDeviceSim : public PtyDevice {
  public:
    static constexpr int kSlots = 180;
    static constexpr int kUsers = 30;
    static constexpr uint8_t kReplyLength = 38;
    static constexpr int kDataBytes = 35;
    static constexpr uint8_t kStatusAccepted = 5;
    static constexpr uint8_t kStatusRefused = 4; // unknown command, slot or table
    static constexpr int kReportSlotByte = 10;   // R[10] of a report

    // What goes wrong with a reply. A fault applies to the next `times` replies to requests that
    // match its command (and first parameter); -1 times means every such reply. Faults are matched
    // in the order they were added, one fault per reply. The device state changes as usual: only
    // the reply is affected. Unasked key reports are never affected.
    struct Fault {
        int command = -1;    // request command, -1 any
        int parameter1 = -1; // request parameter 1, -1 any
        int times = 1;

        bool silent = false;              // no reply at all
        unsigned delayMs = 0;             // pause before the reply starts
        std::vector<uint8_t> noiseBefore; // bytes sent before the start byte
        int status = -1;                  // replaces the status byte (check byte kept right)
        int lengthByte = -1;              // replaces the length byte as sent (check over the new byte)
        bool badCheck = false;            // check byte off by one
        int cutTo = -1;                   // only the first cutTo bytes of the line frame are sent
        size_t pieceSize = 0;             // the frame is sent in pieces of this size ...
        unsigned piecePauseMs = 0;        // ... with this pause between them
        int controlUnitStatus = -1;       // instead of the reply, a control unit's frame of length 6
                                          // with this status (FA 06 status 00 and a 16-bit sum)
        bool twice = false;               // the reply goes out a second time ...
        unsigned repeatAfterMs = 0;       // ... this long after the first has ended
    };

    // A request frame as the program wrote it: start byte, N, payload, 16-bit checksum.
    using Frame = RequestFrame;

    struct Pending { // an armed write
        bool armed = false;
        int slot = 0;
        int expander = 0; // 1..3, or 0 for a three-expander key
    };

    KeyDeviceSim();
    ~KeyDeviceSim() override;

    // --- key tables -----------------------------------------------------------------------------
    bool singleKey(int slot) const;
    void setSingleKey(int slot, bool present);
    bool threeExpanderKey(int key, int user) const;
    void setThreeExpanderKey(int key, int user, bool present);
    void clearKeys();

    Pending pending() const;

    // --- touching keys ----------------------------------------------------------------------------
    // A key recorded nowhere. While a write is armed it is recorded in the armed slot.
    void touchNewKey();
    // A key already recorded in slot (a three-expander key by the slot of expander 1). While a write
    // is armed the key moves to the armed slot; a declined re-programming moves it back.
    void touchKeyRecordedIn(int slot, bool threeExpanders = false);
    // For a demonstration without hands: a new key is touched this long after each armed write
    // (-1, the default: never).
    void setAutoTouchMs(int ms);

    // --- the control unit's access request --------------------------------------------------------
    // -1 (the normal case): answered with the 38-byte frame with status 5. Otherwise answered as a
    // control unit would, with a frame of length 6 carrying this status.
    void setAccessAnswer(int status);

    // --- faults -------------------------------------------------------------------------------------
    void addFault(const Fault& fault);
    void clearFaults();
    size_t pendingFaults() const;

    // --- what the program wrote -------------------------------------------------------------------
    std::vector<Frame> frames() const;
    std::vector<Frame> framesOf(uint8_t command) const;
    void clearFrames();
    // Bytes that did not belong to any frame.
    std::vector<uint8_t> strayBytes() const;
    // Waits (sleeping, without pumping events) until at least count frames are recorded.
    bool waitForFrames(size_t count, unsigned timeoutMs) const;
    int repliesSent() const;
    int reportsSent() const;

    // --- this device's own framing, for the tests -------------------------------------------------
    static uint8_t checkByte(const uint8_t* bytes, size_t count);
    static uint16_t sum16(const uint8_t* bytes, size_t count);
    // FA, 38, status, data (padded with 0 to 35 bytes), check byte.
    static std::vector<uint8_t> replyFrame(uint8_t status, const std::vector<uint8_t>& data);
    // FA, 06, status, 00, 16-bit sum low, high: a control unit's short answer.
    static std::vector<uint8_t> controlUnitFrame(uint8_t status);
    // A 9-byte request as the program should write it.
    static std::vector<uint8_t> requestFrame(uint8_t command, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4);

  protected:
    void onBytes(const uint8_t* bytes, size_t count) override;
    void onIdle() override;
    int64_t nextTimedUs() const override;

  private:
    struct Move { // the last key moved by a touch, kept for a decline
        bool valid = false;
        int to = 0;
        bool toThree = false;
    };

    void handleFrame(const RequestFrame& request);
    // Status and data of the reply to a checked request; false when it gets none.
    bool answerTo(const std::vector<uint8_t>& frame, uint8_t& status, std::vector<uint8_t>& data);
    uint8_t writeCommand(uint8_t slot, uint8_t expander, uint8_t p3, uint8_t p4);
    std::vector<uint8_t> tableData(uint8_t table) const;
    void setKey(int slot, bool three, bool present);
    bool keyAt(int slot, bool three) const;
    void queueReply(const std::vector<uint8_t>& frame, const std::vector<uint8_t>& request);
    void queueReport(uint8_t slotByte);
    void touchNewKeyLocked();

    mutable std::mutex mutex_;
    std::array<bool, kSlots> single_{};
    std::array<bool, 2 * kUsers> three_{};
    Pending pending_;
    Move move_;
    int accessAnswer_ = -1;
    int autoTouchMs_ = -1;
    int64_t armedAtUs_ = 0;
    uint32_t keySerial_ = 0x100;
    std::deque<Fault> faults_;

    RequestFrames requests_;
    int repliesSent_ = 0;
    int reportsSent_ = 0;
};

} // namespace sim
