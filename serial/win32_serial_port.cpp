#include "serial/win32_serial_port.h"

#include <windows.h>

#include <algorithm>

#include "core/runtime_error.h"
#include "core/wide_text.h"

namespace vigie {
namespace {

constexpr const char* kSource = "MSComm1";

[[noreturn]] void fail(std::int32_t number, const std::string& description, DWORD lastError = 0) {
    throw RuntimeError(number, kSource, description, static_cast<std::int32_t>(lastError));
}

// The system's text for the error, in the user's language and in UTF-8.
std::string systemMessage(DWORD error) {
    const std::string text = systemErrorText(error);
    return text.empty() ? "error " + std::to_string(error) : text;
}

// "\\.\COMn" reaches every port, COM10 and above included.
std::string devicePath(int portNumber) {
    return "\\\\.\\COM" + std::to_string(portNumber);
}

BYTE win32Parity(Parity parity) {
    switch (parity) {
        case Parity::Even:
            return EVENPARITY;
        case Parity::Odd:
            return ODDPARITY;
        case Parity::Mark:
            return MARKPARITY;
        case Parity::Space:
            return SPACEPARITY;
        case Parity::None:
            break;
    }
    return NOPARITY;
}

BYTE win32StopBits(StopBits stopBits) {
    switch (stopBits) {
        case StopBits::OneAndHalf:
            return ONE5STOPBITS;
        case StopBits::Two:
            return TWOSTOPBITS;
        case StopBits::One:
            break;
    }
    return ONESTOPBIT;
}

}  // namespace

std::int32_t portOpenErrorNumber(std::uint32_t win32Error) {
    switch (win32Error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return err::InvalidPortNumber;
        default:
            return err::PortOpenFailed;
    }
}

Win32SerialPort::~Win32SerialPort() {
    closeHandle();
}

void Win32SerialPort::closeHandle() {
    if (handle_)
        ::CloseHandle(handle_);
    handle_ = nullptr;
}

void Win32SerialPort::setCommPort(std::int16_t port) {
    commPort_ = checkedPortNumber(port);
}

void Win32SerialPort::setSettings(const std::string& settings) {
    settings_ = parseLineSettings(settings);
    if (handle_)
        applyLineSettings();
}

void Win32SerialPort::setInputLen(std::int16_t len) {
    inputLen_ = checkedInputLen(len);
}

void Win32SerialPort::applyLineSettings() {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle_, &dcb)) {
        const DWORD error = ::GetLastError();
        fail(err::PortOpenFailed, "Cannot configure the port: " + systemMessage(error), error);
    }
    dcb.BaudRate = static_cast<DWORD>(settings_.baudRate);
    dcb.ByteSize = static_cast<BYTE>(settings_.dataBits);
    dcb.Parity = win32Parity(settings_.parity);
    dcb.StopBits = win32StopBits(settings_.stopBits);
    dcb.fBinary = TRUE;
    dcb.fParity = settings_.parity != Parity::None;
    // Bytes that arrive with a parity error are replaced by "?".
    dcb.fErrorChar = settings_.parity != Parity::None;
    dcb.ErrorChar = '?';
    // No flow control of either kind: every byte value is data.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fNull = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    // A line error must not stop reads and writes until somebody clears it.
    dcb.fAbortOnError = FALSE;

    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;  // with both totals 0: return at once
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = WriteTimeoutPerByteMs;
    timeouts.WriteTotalTimeoutConstant = WriteTimeoutMs;

    if (!::SetCommState(handle_, &dcb) || !::SetCommTimeouts(handle_, &timeouts)) {
        const DWORD error = ::GetLastError();
        fail(err::PortOpenFailed, "Cannot configure the port: " + systemMessage(error), error);
    }
}

void Win32SerialPort::setPortOpen(bool open) {
    if (!open) {
        closeHandle();
        open_ = false;
        lost_ = false;
        return;
    }
    if (open_)
        fail(err::PortAlreadyOpen, "Port already open");

    const std::string path = devicePath(commPort_);
    // No sharing: a port held by another program refuses the open.
    HANDLE handle = ::CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        const std::int32_t number = portOpenErrorNumber(error);
        if (number == err::InvalidPortNumber)
            fail(number, "Invalid port number", error);
        fail(number, "Cannot open " + path + ": " + systemMessage(error), error);
    }
    handle_ = handle;
    try {
        applyLineSettings();
    } catch (...) {
        closeHandle();
        throw;
    }
    open_ = true;
    lost_ = false;
}

void Win32SerialPort::deviceGone() {
    lost_ = true;
    closeHandle();
}

void Win32SerialPort::output(const std::string& bytes) {
    if (!open_)
        return;
    if (lost_)
        fail(err::WriteError, "The device is no longer connected");
    if (bytes.empty())
        return;
    // A write returns once all bytes are taken or its time-out ends: fewer bytes mean the device
    // no longer takes data, a failure that it is gone.
    DWORD written = 0;
    const auto size = static_cast<DWORD>(bytes.size());
    if (!::WriteFile(handle_, bytes.data(), size, &written, nullptr) || written != size) {
        const DWORD error = ::GetLastError();
        deviceGone();
        fail(err::WriteError, "The device is no longer connected", error);
    }
}

PortInput takeInput(const PortReadCalls& calls, std::int16_t inputLen) {
    PortInput in;
    char buffer[4096];
    const auto limit = static_cast<std::size_t>(inputLen);
    for (;;) {
        const std::size_t room =
            inputLen > 0 ? std::min(limit - in.data.size(), sizeof buffer) : sizeof buffer;
        std::size_t got = 0;
        if (!calls.read(buffer, room, got)) {
            in.lost = true;
            break;
        }
        in.data.append(buffer, got);
        if (got < room || (inputLen > 0 && in.data.size() >= limit)) {
            // A read of a port whose device has gone may still succeed with no bytes (Wine's
            // does): the port's status tells.
            in.lost = !calls.status();
            break;
        }
    }
    in.raise = in.lost && in.data.empty();
    return in;
}

std::string Win32SerialPort::input() {
    if (!open_)
        return "";
    if (lost_)
        fail(err::ReadError, "The device is no longer connected");
    const PortInput in = takeInput({[this](char* buffer, std::size_t room, std::size_t& got) {
                                        DWORD n = 0;
                                        const bool ok =
                                            ::ReadFile(handle_, buffer, static_cast<DWORD>(room),
                                                       &n, nullptr) != FALSE;
                                        got = n;
                                        return ok;
                                    },
                                    [this] {
                                        DWORD errors = 0;
                                        COMSTAT status{};
                                        return ::ClearCommError(handle_, &errors, &status) != FALSE;
                                    }},
                                   inputLen_);
    if (in.lost)
        deviceGone();
    if (in.raise)
        fail(err::ReadError, "The device is no longer connected");
    return in.data;
}

}  // namespace vigie
