#pragma once
// The real program under faults: the Qt window on the offscreen platform, Qt SerialPort on a
// pseudo-terminal played by a device, and libcurl against a real FTP server. Beside the helpers
// every run of the real program uses, a small scripted device for what the simulator cannot send.

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QPushButton>
#include <QSocketNotifier>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/application.h"
#include "tests/support/real_program_helpers.h"

namespace vigie::test {

// A device on a pseudo-terminal that sends any bytes as its name, NUL included, and leads the
// dialogue as far as the request for the data. It lives in the test's own event loop, which the
// session's yields keep turning. Everything it receives after the transfer start is kept.
class ScriptedDevice {
  public:
    ScriptedDevice(const std::filesystem::path& link, std::string name) : name_(std::move(name)) {
        if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0)
            return;
        termios t;
        ::tcgetattr(slave_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave_, TCSANOW, &t);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        const char* terminal = ::ttyname(slave_);
        if (!terminal)
            return;
        std::error_code ec;
        std::filesystem::create_symlink(terminal, link, ec);
        if (ec)
            return;
        // The device keeps its own hold on the terminal side, so that the program's closing of
        // the port does not hang the line up.
        notifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { readable(); });
    }
    ~ScriptedDevice() {
        notifier_.reset();
        if (slave_ >= 0)
            ::close(slave_);
        if (master_ >= 0)
            ::close(master_);
    }
    ScriptedDevice(const ScriptedDevice&) = delete;
    ScriptedDevice& operator=(const ScriptedDevice&) = delete;

    bool ready() const { return notifier_ != nullptr; }
    const std::string& data() const { return data_; }

  private:
    void readable() {
        char buf[4096];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0)
            return;
        if (inData_) {
            data_.append(buf, static_cast<std::size_t>(n));
            return;
        }
        rx_.append(buf, static_cast<std::size_t>(n));
        for (;;) {
            if (const auto at = rx_.find("\x02\x10\x03"); at != std::string::npos) {
                rx_.erase(0, at + 3);
                answered_ = 0;
                send(std::string("\x01\x02\x03", 3) + "T#FTPUN" + name_ + "\r");
            } else if (const auto ack = rx_.find("\r\n0\r\n"); ack != std::string::npos) {
                rx_.erase(0, ack + 5);
                static const char* const next[] = {"T#FTPPW\r", "T#FTPFILEP\r", "T#FTPGET\r"};
                if (answered_ < 3)
                    send(next[answered_++]);
            } else if (const auto start = rx_.find("\r\n150\r\n"); start != std::string::npos) {
                data_ = rx_.substr(start + 7);
                inData_ = true;
                return;
            } else {
                return;
            }
        }
    }
    void send(const std::string& bytes) {
        if (::write(master_, bytes.data(), bytes.size()) < 0)
            return;
    }

    std::string name_;
    int master_ = -1;
    int slave_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::string rx_, data_;
    int answered_ = 0;
    bool inData_ = false;
};

// Clicks a button of the window as the user would; false when it is disabled.
inline bool clickButton(Application& app, const char* name) {
    auto* button = app.window.findChild<QPushButton*>(name);
    if (!button || !button->isEnabled())
        return false;
    button->click();
    return true;
}

}  // namespace vigie::test
