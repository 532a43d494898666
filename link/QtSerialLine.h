#pragma once
#include "base/SystemTimer.h"
#include "link/SerialLine.h"

#include <QSerialPort>
#include <QString>
#include <memory>
#include <optional>

// The serial line on a QSerialPort, opened with the control unit's line settings: 57600 baud,
// 8 data bits, no parity, 1 stop bit, no flow control, RTS on, DTR off. Reads return at once with
// what has arrived; a write waits at most 1 ms a byte plus 100 ms for the driver to take the bytes.
class QtSerialLine : public SerialLine {
  public:
    // Opens and configures the device (a device path, or "COMn" on Windows), once; on failure, what
    // that attempt tells of the device.
    static LineOpening open(const QString& device);
    ~QtSerialLine() override;

    int read(uint8_t* into, int max) override;
    bool write(const uint8_t* bytes, int count) override;
    void purgeInput() override;
    void purgeOutput() override;
    // Waits on the port itself, so that it returns as soon as bytes arrive.
    void waitForBytes(unsigned maxUs) override;
    bool gone() const override { return gone_; }
    // What the port reports, as it reports it. A read, resource or permission error ends the line:
    // the device was unplugged or the other end closed (Windows answers an overlapped read on a
    // removed adapter with "access denied"). The port is closed then and there, also while no
    // exchange runs; what had arrived before is still handed out, then every call fails.
    void portError(QSerialPort::SerialPortError error);

  private:
    QtSerialLine() = default;
    bool configure();
    void end();

    std::optional<MillisecondTimer> fineTimer_; // while the line lasts
    QSerialPort port_;
    bool gone_ = false;
    QByteArray left_; // bytes that had arrived when the line went
};
