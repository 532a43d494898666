#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>

class SerialLine;
struct LineOpening;

// The serial link to the control unit: one process-wide port, shared by both windows, and the
// frame buffer of the control unit's exchanges. A wait for a reply wakes when bytes arrive and at
// least every millisecond; every wait pumps window events and ends early when the program is
// terminating.
namespace Link {

constexpr uint8_t kRequestStart = 0xAF;
constexpr uint8_t kReplyStart = 0xFA;
constexpr int kFrameBufferSize = 1000;
constexpr unsigned kStartDeadlineMs = 200; // start byte and length byte
constexpr unsigned kRestDeadlineMs = 300;  // the rest of the frame after the length byte
constexpr int kRequestAttempts = 3;
constexpr unsigned kBusyPauseMs = 50; // after an answer with a status that is not accepted
constexpr int kFetchRounds = 10;
constexpr unsigned kFetchPauseMs = 50; // between the fetch frame and its answer
constexpr unsigned kWrongFetchPauseMs = 100;

// 16-bit sum of the bytes, the checksum of both directions.
uint16_t checksum(const uint8_t* bytes, int count);
// A request frame: AF, N = 2 + payload length, payload, checksum low, checksum high. Empty when the
// payload is longer than a one-byte N can count (more than 253 bytes).
QByteArray buildFrame(const QByteArray& payload);
// The request of SendRequest: the long form (N = 7) when a3 is not 0, else the short form (N = 5)
// without a3 and a4.
QByteArray requestFrame(uint8_t command, uint8_t a1, uint8_t a2, uint8_t a3, uint8_t a4);

// What a stored reply (R[0] = length byte onward, `received` bytes of it) amounts to.
enum class ReplyCheck { Ok, Incomplete, BadLength, BadChecksum };
constexpr int kMinReplyLength = 4; // start byte, length byte, two checksum bytes
ReplyCheck checkReply(const uint8_t* r, int received);
// The key-programming device's signature: length byte 38 and status 5.
inline bool isKeyDeviceSignature(const uint8_t* r) {
    return r[0] == 38 && r[1] == 5;
}

// Opens the named port ("COMn") with the line settings of the control unit's line, closing the
// open one first. Shows "Not open " + name on failure.
bool OpenPort(const QString& portName);
void ClosePort();
// How OpenPort opens a port's device: the program opens it with QSerialPort; tests put in lines of
// their own. An empty opener puts back the program's own.
using LineOpener = std::function<LineOpening(const QString& device)>;
void setLineOpener(LineOpener opener);
bool portOpen();
// The name ("COMn") of the port OpenPort holds open; empty when none is open or the open line was
// installed with adoptPort.
QString heldPortName();
// The open port, or nullptr. The key programmer uses it for its own exchanges.
SerialLine* port();
// Installs an already open line (tests and the demo); takes ownership. nullptr closes.
void adoptPort(SerialLine* line);
// Counts the lines opened or installed: a new number is a new line, which owes no answer to what
// was sent on the one before.
uint64_t lineNumber();

void WaitMs(unsigned ms);
bool ReceiveFrame();
bool SendRequest(uint8_t command, uint8_t a1, uint8_t a2, uint8_t a3, uint8_t a4);
void SendFrame(const QByteArray& payload);
bool FetchReply(uint8_t expectedCommand);
// The control unit's answer to a write it answers itself (a descriptor's): a whole frame answering
// that write, read as every reply is, from what has arrived and within the reply's deadlines.
bool ReceiveWriteAnswer();
// Bytes of the last reply stored in the frame buffer, length byte included (0: none came).
int storedReplyBytes();

// The frame buffer: R(0) = length byte, R(1) = status, R(2) = echo, R(3).. data.
uint8_t R(int k);
const uint8_t* frameBuffer();
// True when the frame buffer holds the key-programming device's signature (length 38, status 5).
bool holdsKeyDeviceSignature();

// Receives the Label5 trace of unexpected fetch replies: called with the label's new text.
void setTraceSink(std::function<void(const QString&)> sink);
QString traceText();

// True while an exchange of either window waits on the line.
bool exchangeActive();
// The end (Clock::micros) of the pause WaitMs is in, 0 outside a pause.
uint64_t pauseEndUs();
// Marks an exchange of the key programmer as active while it lives.
class ExchangeScope {
  public:
    ExchangeScope();
    ~ExchangeScope();
    ExchangeScope(const ExchangeScope&) = delete;
    ExchangeScope& operator=(const ExchangeScope&) = delete;
};

} // namespace Link
