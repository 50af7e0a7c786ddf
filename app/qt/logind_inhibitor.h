#pragma once
// Holds a Linux system for an update through logind: while the inhibitor's file descriptor is open,
// idle, sleep and shut-down wait (a closed lid still suspends: logind lets it by default). Asked
// for without blocking the window: the answer comes at one of the session's yields. Without
// logind (a container, another init system, no system bus) the update goes on without it.

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <functional>
#include <string>

#include "core/platform.h"

namespace vigie {

class LogindInhibitor : public QObject {
    Q_OBJECT

  public:
    // report receives what came of each request, and logind's news of the system's sleep.
    using Report = std::function<void(SystemEvent, const std::string&)>;
    explicit LogindInhibitor(Report report) : report_(std::move(report)) {}

    // reason: UTF-8, shown by the system to a user who tries to sleep or shut down.
    void hold(const std::string& reason);
    void release();

  private slots:
    void inhibited(const QDBusMessage& reply);
    void refused(const QDBusError& error);
    void prepareForSleep(bool start);

  private:
    Report report_;
    QDBusUnixFileDescriptor inhibitor_;
    bool wanted_ = false;
    bool listening_ = false;
};

}  // namespace vigie
