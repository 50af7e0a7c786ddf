#include "app/qt/logind_inhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>

namespace vigie {
namespace {

const QString Service = QStringLiteral("org.freedesktop.login1");
const QString ManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString Manager = QStringLiteral("org.freedesktop.login1.Manager");
// What the update must not be cut by, and how: the others wait until the descriptor is closed.
const QString What = QStringLiteral("sleep:shutdown:idle");
const QString Mode = QStringLiteral("block");
const QString Who = QStringLiteral("VIGIE K7");

std::string describe(const QDBusError& error) {
    return (error.name() + QStringLiteral(" : ") + error.message()).toStdString();
}

}  // namespace

void LogindInhibitor::hold(const std::string& reason) {
    wanted_ = true;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        report_(SystemEvent::NotHeld,
                "logind injoignable, pas de bus système : " + describe(bus.lastError()));
        return;
    }
    if (!(bus.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing)) {
        report_(SystemEvent::NotHeld, "le bus système ne transmet pas de descripteurs");
        return;
    }
    if (!listening_)
        listening_ = bus.connect(Service, ManagerPath, Manager, QStringLiteral("PrepareForSleep"),
                                 this, SLOT(prepareForSleep(bool)));
    QDBusMessage call =
        QDBusMessage::createMethodCall(Service, ManagerPath, Manager, QStringLiteral("Inhibit"));
    call << What << Who << QString::fromStdString(reason) << Mode;
    // The reply carries the descriptor into the slot's argument and nowhere else, so that letting
    // go of inhibitor_ closes it.
    bus.callWithCallback(call, this, SLOT(inhibited(QDBusMessage)), SLOT(refused(QDBusError)));
}

void LogindInhibitor::inhibited(const QDBusMessage& reply) {
    // Released before the answer came, or held already by an earlier answer: this descriptor
    // closes with the reply.
    if (!wanted_ || inhibitor_.isValid())
        return;
    const auto fd = reply.arguments().value(0).value<QDBusUnixFileDescriptor>();
    if (!fd.isValid()) {
        report_(SystemEvent::NotHeld, "logind n'a pas donné de descripteur");
        return;
    }
    inhibitor_ = fd;
    report_(SystemEvent::Held,
            "logind : inhibiteur " + What.toStdString() + ", mode " + Mode.toStdString());
}

void LogindInhibitor::refused(const QDBusError& error) {
    if (wanted_ && !inhibitor_.isValid())
        report_(SystemEvent::NotHeld, "logind n'a pas pris l'inhibiteur : " + describe(error));
}

void LogindInhibitor::release() {
    wanted_ = false;
    if (!inhibitor_.isValid())
        return;
    inhibitor_ = QDBusUnixFileDescriptor();
    report_(SystemEvent::Released, "logind : inhibiteur rendu");
}

void LogindInhibitor::prepareForSleep(bool start) {
    report_(start ? SystemEvent::Suspending : SystemEvent::Resumed,
            start ? "logind PrepareForSleep(true)" : "logind PrepareForSleep(false)");
}

}  // namespace vigie
