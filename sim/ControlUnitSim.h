#pragma once
#include "sim/PtyDevice.h"
#include "sim/RequestFrames.h"

#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

// A simulated control unit with up to 64 expanders on its line, served on a pseudo-terminal.
//
// It answers the control unit's commands: the access request (0), the relay of expander commands
// (1) with their answers kept for the fetch (2), the writing and reading of text descriptors (3, 4)
// and the blocks of the descriptor table (5) and of the expander table (6). It keeps its own framing
// and checksum code, apart from the program's, so that the tests check the program against an
// independent reading of the line.
//
// With pacing on (setPacing), the line runs at 57600 baud both ways: replies go out byte by byte at
// line speed, and a reply starts no earlier than the request would have finished arriving.
//
// Every setter and accessor is safe to call from the test thread while the device serves the line.
class ControlUnitSim : public PtyDevice {
  public:
    static constexpr int kExpanders = 64;
    static constexpr int kSlots = 512;
    static constexpr int kDescriptors = 150;

    // Statuses this device answers with (besides the access statuses 0, 7, 8, 9).
    static constexpr uint8_t kStatusDone = 1; // fetched answer there, descriptor written, block read
    static constexpr uint8_t kStatusBusy = 2;
    static constexpr uint8_t kStatusNotReady = 3;  // fetch before the expander has answered
    static constexpr uint8_t kStatusRefused = 4;   // unknown command or block out of range
    static constexpr uint8_t kStatusKeyDevice = 5; // the key-programming device's signature status
    static constexpr uint8_t kStatusNoTable = 6;   // command 5 without a descriptor table

    struct Expander {
        bool configured = false;                   // bit 7 of its expander-table entry
        std::array<uint8_t, 18> parameters{};      // parameter bytes 1..18
        std::array<uint8_t, 31> userMasks{};       // users 0..30
        std::array<uint16_t, 32> userCodes{};      // users 0..30 and the 32nd code of block 4
        std::array<uint8_t, 8> partitionNumbers{}; // partitions 1..8 at [p - 1]
        std::array<uint8_t, 8> partitionMasks{};
        std::array<uint16_t, 8> partitionCodes{};
        // The next this many writes are echoed correctly but not applied (-1: every write), so that
        // the read-back differs.
        int forgetWrites = 0;
        int writesApplied = 0; // counted by the device
    };

    // What goes wrong with a reply. A fault applies to the next `times` replies that match its
    // command (and, for commands 1 and 2, its expander command), after `skip` of them have gone out
    // unharmed; -1 times means every such reply.
    // The device state changes as usual: only the reply is affected. Faults are matched in the
    // order they were added; one fault per reply.
    struct Fault {
        int command = -1;         // request command, -1 any
        int expanderCommand = -1; // relayed/fetched expander command, -1 any
        int times = 1;
        int skip = 0; // matching replies left alone before the fault begins

        bool silent = false;              // no reply at all
        unsigned delayMs = 0;             // pause before the reply starts
        std::vector<uint8_t> noiseBefore; // bytes sent before the start byte
        int status = -1;                  // replaces the status byte (checksum kept valid)
        int echo = -1;                    // replaces the echo byte (checksum kept valid)
        int dataLength = -1;              // data cut or padded with 0 to this many bytes (valid frame)
        int lengthByte = -1;              // replaces the length byte as sent (checksum over the new byte)
        bool badChecksum = false;         // checksum low byte off by one
        int cutTo = -1;                   // only the first cutTo bytes of the frame are sent
        size_t pieceSize = 0;             // the frame is sent in pieces of this size ...
        unsigned piecePauseMs = 0;        // ... with this pause between them
        bool keyDeviceSignature = false;  // a 38-byte frame with status 5 instead of the reply
        bool twice = false;               // the reply goes out a second time ...
        unsigned repeatAfterMs = 0;       // ... this long after the first has ended
    };

    // A complete request frame as the program wrote it (start byte, N, payload, checksum).
    using Frame = RequestFrame;

    ControlUnitSim();
    ~ControlUnitSim() override;

    // --- access ---------------------------------------------------------------------------------
    // The access code and engineer code as typed, eight decimal digits ("12345678"). An access
    // request is accepted when its code bytes are those the program makes of this text: digit pairs
    // with their digits exchanged; the short form matches when the third byte would be 0.
    void setAccessCode(const std::string& digits);
    // The four-digit console code of a local-line connection (sent as its two pairs twice).
    void setConsoleCode(const std::string& digits);
    // The default access code 33337777 (bytes 33 33 77 77 unswapped) is accepted while this is on.
    void setAcceptDefaultCode(bool on);
    // The local-line default code as it arrives (no swap), accepted in local-line mode.
    void setLocalLineDefaultCode(const std::array<uint8_t, 4>& bytes);
    // Local-line connection: every access request is answered with status 0; after the console
    // code or the local-line default code the identification probe (a fetch of 0x55 with nothing
    // relayed) gets the parameter block of the first configured expander among 1..3, after any
    // other code it gets nothing. The users' code pages (0x5D with block 1..4) are served only in
    // this mode.
    void setLocalLine(bool on);
    // Answers every access request with this status, whatever the code (-1: evaluate the code).
    void setAccessStatus(int status);
    // The four code bytes a typed code becomes on the line (this device's own reading of the rule);
    // two bytes for the short form.
    static std::vector<uint8_t> codeBytesOf(const std::string& digits);

    // --- expanders and tables -------------------------------------------------------------------
    Expander expander(int address) const;
    void setExpander(int address, const Expander& expander);
    void setConfigured(int address, bool configured);
    // The 256 bytes of the expander table as command 6 serves them (bit 7 of byte 4a for a
    // configured expander; the other bits of the entry carry filler the program must ignore).
    std::array<uint8_t, 256> expanderTable() const;

    void setHasDescriptorTable(bool on);
    std::array<uint8_t, kSlots> descriptorTable() const;
    void setDescriptorSlot(int slot, uint8_t value);
    void setDescriptorTable(const std::array<uint8_t, kSlots>& table);
    // Text descriptors 0..149 as bytes in code page 1251, without the 0 byte. Written over the line
    // (command 3) a text keeps at most its first 21 characters, as the unit does; a test may store a
    // longer one here to see how the program reads a reply that runs past 21.
    std::string descriptorText(int number) const;
    void setDescriptorText(int number, const std::string& bytes1251);

    // Time the expander needs before its answer can be fetched (0: at once).
    void setRelayLatencyMs(unsigned ms);

    // --- faults ---------------------------------------------------------------------------------
    void addFault(const Fault& fault);
    void clearFaults();
    size_t pendingFaults() const;

    // --- what the program wrote ---------------------------------------------------------------
    std::vector<Frame> frames() const;
    std::vector<Frame> framesOf(uint8_t command) const;
    void clearFrames();
    // Bytes that did not belong to any frame (skipped while looking for a start byte).
    std::vector<uint8_t> strayBytes() const;
    // Waits (sleeping, without pumping events) until at least count frames are recorded.
    bool waitForFrames(size_t count, unsigned timeoutMs) const;
    // Number of replies sent (faulty ones included, silent ones not).
    int repliesSent() const;

    // --- this device's own framing, for the tests -----------------------------------------------
    static uint16_t sum16(const uint8_t* bytes, size_t count);
    // FA, L, status, echo, data, checksum low, checksum high.
    static std::vector<uint8_t> replyFrame(uint8_t status, uint8_t echo, const std::vector<uint8_t>& data);

  protected:
    void onBytes(const uint8_t* bytes, size_t count) override;
    void onIdle() override;
    int64_t nextTimedUs() const override;

  private:
    struct Answer { // the expander's answer kept for command 2
        bool present = false;
        uint8_t command = 0;
        std::vector<uint8_t> data;
        uint32_t readyAtMs = 0;
    };

    struct Reply {
        uint8_t status = 0;
        uint8_t echo = 0;
        std::vector<uint8_t> data;
    };

    void handleFrame(const RequestFrame& request);
    // False when the request gets no reply (a relayed write, a malformed write).
    bool answerTo(const std::vector<uint8_t>& frame, Reply& reply, int& expanderCommand);
    Reply accessReply(const std::vector<uint8_t>& frame);
    bool relay(const std::vector<uint8_t>& frame, Reply& reply, int& expanderCommand);
    Reply fetch(int& expanderCommand);
    void applyWrite(Expander& e, uint8_t command, const uint8_t* data, size_t count);
    void queueReply(const Reply& reply, uint8_t command, int expanderCommand, int64_t earliestUs);
    std::array<uint8_t, 256> expanderTableLocked() const;

    mutable std::mutex mutex_;
    std::array<Expander, kExpanders> expanders_{};
    std::array<uint8_t, kSlots> descriptorTable_{};
    std::array<std::string, kDescriptors> texts_{};
    bool hasDescriptorTable_ = true;
    std::string accessCode_ = "12345678";
    std::string consoleCode_ = "1234";
    bool acceptDefault_ = true;
    std::array<uint8_t, 4> localLineDefault_{0x12, 0x34, 0x12, 0x34};
    bool localLine_ = false;
    int forcedAccessStatus_ = -1;
    unsigned relayLatencyMs_ = 0;
    Answer answer_;
    std::deque<Fault> faults_;

    RequestFrames requests_;
    int repliesSent_ = 0;
};

} // namespace sim
