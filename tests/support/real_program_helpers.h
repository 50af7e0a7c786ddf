#pragma once
// What the runs of the real program share: helper processes (the FTP server, the K7 simulator), and
// a watcher that answers the windows that open modally and records every message box.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

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
    // Everything the peer has written to stderr so far.
    std::string errorOutput() {
        errors_ += process_.readAllStandardError().toStdString();
        return errors_;
    }
    // Gone at once, as a crashed or switched-off peer: no goodbye on its connections.
    void kill() {
        process_.kill();
        process_.waitForFinished(3000);
    }

  private:
    QProcess process_;
    std::string errors_;
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

}  // namespace vigie::test
