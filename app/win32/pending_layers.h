#pragma once
// Stand-ins for the Win32 serial port and the WinINet FTP layer until they are built: the window
// runs, and an update fails at once with the serial control's own error.

#include <memory>

#include "core/runtime_error.h"
#include "ftp/ftp_layer.h"
#include "serial/serial_port.h"

namespace vigie::win32 {

class UnavailableSerialPort : public SerialPort {
  public:
    bool portOpen() const override { return false; }
    void setPortOpen(bool open) override {
        if (open)
            throw RuntimeError(err::PortOpenFailed, "MSComm1", "Port Open Failed");
    }
    std::int16_t commPort() const override { return port_; }
    void setCommPort(std::int16_t port) override { port_ = port; }
    void setSettings(const std::string&) override {}
    void setInputLen(std::int16_t) override {}
    void output(const std::string&) override {}
    std::string input() override { return {}; }

  private:
    std::int16_t port_ = 1;
};

class UnavailableFtpLayer : public ftp::FtpLayer {
  public:
    void setYield(std::function<void()>) override {}
    ftp::Handle internetOpen(const std::string&) override { return fail(); }
    ftp::Handle internetConnect(ftp::Handle, const std::string&, int, const std::string&,
                                const std::string&, bool) override {
        return fail();
    }
    ftp::Handle ftpFindFirstFile(ftp::Handle, const std::string&, ftp::FindData&) override {
        return fail();
    }
    ftp::Handle ftpOpenFile(ftp::Handle, const std::string&, ftp::Access) override {
        return fail();
    }
    bool internetReadFile(ftp::Handle, char*, std::uint32_t, std::uint32_t&) override {
        return fail() != 0;
    }
    bool internetWriteFile(ftp::Handle, const char*, std::uint32_t, std::uint32_t&) override {
        return fail() != 0;
    }
    bool ftpGetFile(ftp::Handle, const std::string&, const std::string&, bool) override {
        return fail() != 0;
    }
    bool ftpPutFile(ftp::Handle, const std::string&, const std::string&) override {
        return fail() != 0;
    }
    bool internetCloseHandle(ftp::Handle) override { return true; }
    std::uint32_t lastError() const override { return ftp::code::CannotConnect; }
    std::string formatMessage(std::uint32_t) const override { return {}; }
    std::string lastResponseInfo() const override { return {}; }

  private:
    static ftp::Handle fail() { return 0; }
};

}  // namespace vigie::win32
