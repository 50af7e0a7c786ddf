#pragma once
// The program's serial port over Qt SerialPort.
//
// Qt delivers received bytes and reports errors through the event loop: the program's yields feed
// the receive buffer that input() empties. A device that goes away under an open port (a USB
// adapter pulled out, the other side of a pseudo-terminal closed) shows as a resource or read
// error; the Qt port is closed at once (Qt would otherwise report the error again at every turn of
// the event loop), the port stays open as far as the program is concerned, and the next read or
// write raises, so that the failure reaches the caller's error handling. Closing the port clears
// the state.

#include <QByteArray>
#include <QSerialPort>
#include <cstdint>
#include <string>

#include "serial/port_properties.h"
#include "serial/serial_port.h"

namespace vigie {

class QtSerialPort : public SerialPort {
  public:
    QtSerialPort();
    ~QtSerialPort() override;
    QtSerialPort(const QtSerialPort&) = delete;
    QtSerialPort& operator=(const QtSerialPort&) = delete;

    bool portOpen() const override { return open_; }
    void setPortOpen(bool open) override;
    std::int16_t commPort() const override { return commPort_; }
    void setCommPort(std::int16_t port) override;
    // "speed,parity,data bits,stop bits": parity N, E, O, M or S; 5 to 8 data bits; 1, 1.5 or 2
    // stop bits. Applied at the next open, and at once when the port is open.
    void setSettings(const std::string& settings) override;
    // 0: every read returns all that is buffered; n > 0: at most n bytes per read.
    void setInputLen(std::int16_t len) override;
    void output(const std::string& bytes) override;
    std::string input() override;

    // The device went away while the port was open; cleared by closing the port.
    bool deviceLost() const { return lost_; }
    // Errors the Qt port has reported so far; for diagnostics.
    int errorReports() const { return errorReports_; }

  private:
    void onError(QSerialPort::SerialPortError error);
    void deviceGone();
    void applyLineSettings();
    std::string take(QByteArray& buffer);

    QSerialPort port_;
    bool open_ = false;
    bool lost_ = false;
    QByteArray pending_;  // bytes that had arrived when the device went away
    std::int16_t commPort_ = 1;
    std::int16_t inputLen_ = 0;
    LineSettings settings_;
    int errorReports_ = 0;
};

}  // namespace vigie
