#include "app/qt/qt_platform.h"

#include <QApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <thread>

#include "app/main_form.h"
#include "app/qt/document_dialog.h"
#include "app/qt/main_window.h"
#include "app/qt/screen_centre.h"

namespace vigie {

QtPlatform::QtPlatform()
    : logind_([this](SystemEvent event, const std::string& detail) {
          if (form_)
              form_->systemEvent(event, detail);
      }) {
    clock_.start();
    timerPump_.setSingleShot(true);
    timerPump_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timerPump_, &QTimer::timeout, [this] {
        if (form_)
            form_->runDueTimers(tickCount());
        sync();
    });
}

void QtPlatform::attach(MainForm& form, MainWindow& window) {
    form_ = &form;
    window_ = &window;
}

void QtPlatform::sync() {
    if (!form_ || !window_)
        return;
    window_->sync();
    const std::int64_t due = form_->nextTimerDue();
    if (due == INT64_MAX) {
        timerPump_.stop();
        return;
    }
    const auto wait = static_cast<int>(std::clamp<std::int64_t>(due - tickCount(), 0, 1 << 30));
    if (!timerPump_.isActive() || timerPump_.remainingTime() != wait)
        timerPump_.start(wait);
}

void QtPlatform::doEvents() {
    sync();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    sync();
}

void QtPlatform::waitUntil(std::int64_t tick) {
    // Sleep in the event loop: a precise one-shot timer wakes it at the deadline, and every event
    // that comes earlier is handled as it arrives.
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, [] {});
    for (std::int64_t left = tick - tickCount(); left > 0; left = tick - tickCount()) {
        sync();
        // The tick changes at a whole millisecond of the clock: the timer is armed for the whole
        // milliseconds left, and the last fraction is slept, so the wait does not overshoot by one.
        const std::int64_t nsLeft = tick * 1'000'000 - clock_.nsecsElapsed();
        if (nsLeft < 1'000'000) {
            std::this_thread::sleep_for(
                std::chrono::nanoseconds(std::max<std::int64_t>(nsLeft, 0)));
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            continue;
        }
        deadline.start(static_cast<int>(std::min<std::int64_t>(nsLeft / 1'000'000, 1 << 30)));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    sync();
}

int QtPlatform::msgBox(const std::string& text, int flags, const std::string& title) {
    if (ending_)
        return (flags & 7) == mb::YesNo ? mb::No : mb::Ok;
    sync();
    QMessageBox box(window_ && window_->isVisible() ? window_ : nullptr);
    box.setWindowTitle(QString::fromStdString(title));
    QString body = QString::fromStdString(text);
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    box.setText(body);
    switch (flags & 0x70) {
        case mb::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        case mb::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case mb::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case mb::Information:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            box.setIcon(QMessageBox::NoIcon);
            break;
    }
    if ((flags & 7) == mb::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int answer = box.exec();
    sync();
    if ((flags & 7) == mb::YesNo)
        return answer == QMessageBox::Yes ? mb::Yes : mb::No;
    return mb::Ok;
}

void QtPlatform::setMousePointer(int pointer) {
    const bool busy = pointer == PointerHourglass;
    if (busy == busyPointer_)
        return;
    busyPointer_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void QtPlatform::openUrl(const std::string& url) {
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

bool QtPlatform::showStartWindow() {
    DocumentDialog dialog(frmStart_Load(appPath()), window_);
    dialog.exec();
    return dialog.leftThroughButton();
}

void QtPlatform::showHelpWindow() {
    sync();
    DocumentDialog dialog(frmHelp_Load(appPath()), window_);
    dialog.exec();
    sync();
}

void QtPlatform::showMainWindow() {
    if (!window_)
        return;
    centreOnScreen(window_);
    window_->show();
    // The start window that had the keyboard has closed: the main window takes it over.
    window_->activateWindow();
    sync();
    // The first control in the tab order has the focus when the window opens.
    window_->focusGoButton();
}

void QtPlatform::focusGoButton() {
    if (window_)
        window_->focusGoButton();
}

void QtPlatform::endProgram() {
    // The outer event loop ends; a session still on the stack unwinds at its next yield, since the
    // port has been closed and the stop flag set.
    ending_ = true;
    timerPump_.stop();
    QApplication::closeAllWindows();
    QCoreApplication::exit(0);
}

std::string QtPlatform::appPath() {
    return QCoreApplication::applicationDirPath().toStdString();
}

DateTime QtPlatform::now() {
    const QDateTime t = QDateTime::currentDateTime();
    return {t.date().year(),   t.date().month(),  t.date().day(), t.time().hour(),
            t.time().minute(), t.time().second(), t.time().msec()};
}

}  // namespace vigie
