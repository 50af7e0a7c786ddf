#pragma once
// The program's serial port over the Win32 communications API.
//
// The port is opened without overlapped I/O and with read time-outs that make a read return at once
// with whatever has arrived, so the program's polling never blocks on the line. A write hands the
// whole buffer to the system and waits until it is taken; a device that stops taking data fails
// the write after a few seconds instead of freezing the window.
//
// A device that goes away under an open port (a USB adapter pulled out, the other side of a
// pseudo-terminal closed under Wine) is noticed at the next read or write: the handle is closed at
// once, the port stays open as far as the program is concerned, and from then on every read and
// write raises (a read that notices the loss first hands over what had arrived before it), so that
// the failure reaches the caller's error handling. Closing the port clears the state. Reads do not
// rely on ReadFile to see the loss: under Wine it keeps returning success with no bytes, while the
// port's status call (ClearCommError) fails.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "serial/port_properties.h"
#include "serial/serial_port.h"

namespace vigie {

class Win32SerialPort : public SerialPort {
  public:
    // A write may take this long plus a millisecond per byte (four times the time a byte takes on
    // the line at 38400 bit/s) before the device counts as gone.
    static constexpr std::uint32_t WriteTimeoutMs = 2000;
    static constexpr std::uint32_t WriteTimeoutPerByteMs = 1;

    Win32SerialPort() = default;
    ~Win32SerialPort() override;
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    bool portOpen() const override { return open_; }
    void setPortOpen(bool open) override;
    std::int16_t commPort() const override { return commPort_; }
    void setCommPort(std::int16_t port) override;
    // Applied at the next open, and at once when the port is open.
    void setSettings(const std::string& settings) override;
    // 0: every read returns all that is buffered; n > 0: at most n bytes per read.
    void setInputLen(std::int16_t len) override;
    void output(const std::string& bytes) override;
    std::string input() override;

    // The device went away while the port was open; cleared by closing the port.
    bool deviceLost() const { return lost_; }

  private:
    void deviceGone();
    void applyLineSettings();
    void closeHandle();

    void* handle_ = nullptr;  // the system's handle while the device is held; null otherwise
    bool open_ = false;
    bool lost_ = false;
    std::int16_t commPort_ = 1;
    std::int16_t inputLen_ = 0;
    LineSettings settings_;
};

// The system's two calls a read of the port makes: read (ReadFile: up to room bytes into buffer,
// got set to how many came; false when it fails) and status (ClearCommError; false when it fails).
struct PortReadCalls {
    std::function<bool(char* buffer, std::size_t room, std::size_t& got)> read;
    std::function<bool()> status;
};

// What one read of the port hands over: reads until a read gives less than asked or inputLen
// bytes (0: no limit) have come, then asks for the port's status. A failed read or status means
// the device has gone (lost): the bytes that came before still reach the program, and the read
// raises only when none came (otherwise the next one does).
struct PortInput {
    std::string data;
    bool lost = false;
    bool raise = false;
};
PortInput takeInput(const PortReadCalls& calls, std::int16_t inputLen);

// The run-time error number for a failed CreateFileA on a port: a port that does not exist is an
// invalid port number (8002); any other refusal (held by another program, no access, a device
// that does not answer) is a failed open (8010).
std::int32_t portOpenErrorNumber(std::uint32_t win32Error);

}  // namespace vigie
