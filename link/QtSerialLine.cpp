#include "link/QtSerialLine.h"

#include "link/ModemLines.h"
#include "link/PortNames.h"
#include "link/PortWait.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>

namespace {

constexpr int kWriteMsPerByte = 1;
constexpr int kWriteExtraMs = 100;

} // namespace

LineOpening QtSerialLine::open(const QString& device) {
    if (device.isEmpty() || !portOpenAllowed(device)) return {};
    std::unique_ptr<QtSerialLine> line(new QtSerialLine);
    line->port_.setPortName(device);
    // QSerialPort opens the device exclusively and takes a lock file, so a port that another
    // program holds fails here, as does a name without a device behind it.
    if (!line->port_.open(QIODevice::ReadWrite)) {
        LineOpening refused;
        refused.refusal = refusalOf(line->port_, &refused.reason);
        return refused;
    }
    if (!line->configure()) {
        LineOpening refused{nullptr, PortAccess::Unavailable, line->port_.errorString()};
        return refused; // the port closes with the line
    }
    keepModemLinesOnClose(line->port_);
    line->fineTimer_.emplace();
    // A device that goes away makes the port report an error on every pass of the event loop while
    // it stays open (only a write reports the resource error), which would spin on the dead line
    // until the next exchange. The first such error ends the line, wherever it comes from.
    QtSerialLine* raw = line.get();
    QObject::connect(&line->port_, &QSerialPort::errorOccurred, &line->port_,
                     [raw](QSerialPort::SerialPortError error) { raw->portError(error); });
    return {std::move(line)};
}

void QtSerialLine::portError(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError ||
        error == QSerialPort::PermissionError)
        end();
}

QtSerialLine::~QtSerialLine() {
    if (port_.isOpen()) port_.close();
}

bool QtSerialLine::configure() {
    if (!port_.setBaudRate(57600) || !port_.setDataBits(QSerialPort::Data8) ||
        !port_.setParity(QSerialPort::NoParity) || !port_.setStopBits(QSerialPort::OneStop) ||
        !port_.setFlowControl(QSerialPort::NoFlowControl))
        return false;
    if (!setModemLines(port_)) return false;
    port_.setReadBufferSize(0);
    port_.clearError();
    return true;
}

void QtSerialLine::end() {
    if (gone_) return;
    gone_ = true;
    left_ = port_.readAll();
    port_.close();
    fineTimer_.reset();
    noticeGone();
}

int QtSerialLine::read(uint8_t* into, int max) {
    if (max <= 0) return gone_ && left_.isEmpty() ? -1 : 0;
    if (!gone_ && port_.bytesAvailable() == 0) {
        // Take what the driver holds now rather than waiting for the event loop to fetch it.
        port_.waitForReadyRead(0);
        if (port_.error() == QSerialPort::TimeoutError) port_.clearError();
    }
    if (gone_) {
        if (left_.isEmpty()) return -1;
        const int n = static_cast<int>(std::min<qsizetype>(max, left_.size()));
        std::copy_n(left_.constData(), n, reinterpret_cast<char*>(into));
        left_.remove(0, n);
        return n;
    }
    const qint64 n = port_.read(reinterpret_cast<char*>(into), max);
    if (n < 0) return gone_ ? -1 : 0;
    return static_cast<int>(n);
}

void QtSerialLine::waitForBytes(unsigned maxUs) {
    if (gone_ || port_.bytesAvailable() > 0) return;
    QElapsedTimer timer;
    timer.start();
    waitForPortInput(port_, maxUs);
    if (port_.error() == QSerialPort::TimeoutError) port_.clearError();
    if (gone_ || port_.bytesAvailable() > 0) return; // a line that is gone fails at the next read
    // Woken without bytes: let the rest of the time pass, so that no loop spins.
    const qint64 leftUs = static_cast<qint64>(maxUs) - timer.nsecsElapsed() / 1000;
    if (leftUs > 0) QThread::usleep(static_cast<unsigned long>(leftUs));
}

bool QtSerialLine::write(const uint8_t* bytes, int count) {
    if (gone_) return false;
    const qint64 queued = port_.write(reinterpret_cast<const char*>(bytes), count);
    if (queued != count) return !gone_;
    QElapsedTimer timer;
    timer.start();
    const int limit = count * kWriteMsPerByte + kWriteExtraMs;
    while (port_.bytesToWrite() > 0) {
        const int left = limit - static_cast<int>(timer.elapsed());
        if (left <= 0 || !port_.waitForBytesWritten(left)) break;
    }
    if (gone_) return false;
    // A write that does not finish in time is not reported: the receive that follows fails.
    if (port_.error() != QSerialPort::NoError) port_.clearError();
    return true;
}

void QtSerialLine::purgeInput() {
    left_.clear();
    if (!gone_) port_.clear(QSerialPort::Input);
}

void QtSerialLine::purgeOutput() {
    if (!gone_) port_.clear(QSerialPort::Output);
}
