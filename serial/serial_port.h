#pragma once
// The operations the program performs on its serial port, and nothing else. The real port is
// Qt SerialPort (serial/qt_serial_port); the session's unit tests use an in-memory device.
//
// Data are bytes: one byte per character of the system's 8-bit character set, passed unchanged.
// Failures raise vigie::RuntimeError with the serial control's error numbers.

#include <cstdint>
#include <string>

namespace vigie {

class SerialPort {
  public:
    virtual ~SerialPort() = default;

    // True exactly while the port is open; never fails.
    virtual bool portOpen() const = 0;
    // Opens with the current CommPort and Settings, or closes. Opening a port that does not exist
    // raises err::InvalidPortNumber; any other failure to open raises another number.
    virtual void setPortOpen(bool open) = 0;

    virtual std::int16_t commPort() const = 0;
    virtual void setCommPort(std::int16_t port) = 0;
    // "38400,N,8,1"
    virtual void setSettings(const std::string& settings) = 0;
    virtual void setInputLen(std::int16_t len) = 0;

    // Queues the bytes for sending, in order. Skipped silently when the port is closed. A port that
    // has gone away raises an error.
    virtual void output(const std::string& bytes) = 0;
    // Everything received since the previous read; "" when nothing came. A port that has gone away
    // raises an error.
    virtual std::string input() = 0;
};

}  // namespace vigie
