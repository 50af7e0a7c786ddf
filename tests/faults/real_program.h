#pragma once
// The real program under faults: the Qt window on the offscreen platform, Qt SerialPort on a
// pseudo-terminal played by a device, and libcurl against a real FTP server. The pieces the fault
// runs share: helper processes, a watcher that answers modal windows and acts when the window
// reaches a given state, and a small scripted device for what the simulator cannot send.

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/application.h"

namespace vigie::test {

// A helper process that prints a line once it is ready.
class Peer {
  public:
    Peer(const QString& program, const QStringList& args) {
        process_.setProgram(program);
        process_.setArguments(args);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start();
    }
    ~Peer() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(3000))
            process_.kill();
        process_.waitForFinished(3000);
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    // The first stdout line starting with prefix, "" after 10 s.
    std::string waitForLine(const std::string& prefix) {
        for (int i = 0; i < 100; ++i) {
            while (process_.canReadLine()) {
                const std::string line = process_.readLine().trimmed().toStdString();
                if (line.rfind(prefix, 0) == 0)
                    return line;
            }
            process_.waitForReadyRead(100);
        }
        return "";
    }
    // Gone at once, as a crashed or switched-off peer: no goodbye on its connections.
    void kill() {
        process_.kill();
        process_.waitForFinished(3000);
    }

  private:
    QProcess process_;
};

// Answers the windows that open modally, records every message box, and between boxes runs a
// check of the program's state at each turn of the event loop (every 20 ms at most).
class ModalWatcher {
  public:
    struct Box {
        std::string title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        bool yesNo = false;
    };
    // The answer to a box; by default No where there is a No, else OK.
    std::function<QMessageBox::StandardButton(const Box&)> answer;
    // Runs while no modal window is open.
    std::function<void()> onIdle;
    std::vector<Box> boxes;

    ModalWatcher() {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }

    std::string describe() const {
        std::string all;
        for (const Box& b : boxes)
            all += "[" + b.title + "] " + b.text + "\n";
        return all;
    }

  private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            Box seen{box->windowTitle().toStdString(), box->text().toStdString(), box->icon(),
                     box->button(QMessageBox::No) != nullptr};
            boxes.push_back(seen);
            QMessageBox::StandardButton reply = seen.yesNo ? QMessageBox::No : QMessageBox::Ok;
            if (answer)
                reply = answer(seen);
            box->done(reply);
            return;
        }
        if (modal) {
            for (auto* button : modal->findChildren<QAbstractButton*>())
                if (button->text() == "Next")
                    button->click();
            return;
        }
        if (onIdle)
            onIdle();
    }
    QTimer timer_;
};

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
