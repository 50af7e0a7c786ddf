// The real program against logind on a system bus of the test's own (dbus-daemon, and
// python3-dbusmock's logind, whose inhibitors last as long as the descriptor it handed out): an
// update takes an inhibitor with the program's name and reason and gives it back when it ends,
// logind's news of a sleep is logged, and without logind (or without any system bus) the update
// runs as before with one line more in its log.

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <algorithm>
#include <sstream>

#include "tests/support/program_texts.h"
#include "tests/support/real_program_fixture.h"

namespace vigie::test {
namespace {

const QString Logind = QStringLiteral("org.freedesktop.login1");
const QString LogindPath = QStringLiteral("/org/freedesktop/login1");
const QString Manager = QStringLiteral("org.freedesktop.login1.Manager");
const std::string Reason =
    "Mise à jour du K7 en cours : attendez la fin avant de fermer la session.";

struct Inhibitor {
    std::string what, who, why, mode;
};

// logind's inhibitors, as it lists them.
std::vector<Inhibitor> inhibitors() {
    const QDBusMessage reply = QDBusConnection::systemBus().call(
        QDBusMessage::createMethodCall(Logind, LogindPath, Manager, "ListInhibitors"));
    std::vector<Inhibitor> list;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return list;
    const QDBusArgument array = reply.arguments().at(0).value<QDBusArgument>();
    array.beginArray();
    while (!array.atEnd()) {
        QString what, who, why, mode;
        uint uid = 0, pid = 0;
        array.beginStructure();
        array >> what >> who >> why >> mode >> uid >> pid;
        array.endStructure();
        list.push_back(
            {what.toStdString(), who.toStdString(), why.toStdString(), mode.toStdString()});
    }
    array.endArray();
    return list;
}

// logind tells its clients that the computer goes to sleep (true) or woke up (false).
void logindAnnouncesSleep(bool start) {
    QDBusMessage announcement = QDBusMessage::createMethodCall(
        Logind, LogindPath, QStringLiteral("org.freedesktop.DBus.Mock"), "EmitSignal");
    announcement << Manager << QStringLiteral("PrepareForSleep") << QStringLiteral("b")
                 << QVariant(QVariantList{start});
    QDBusConnection::systemBus().call(announcement);
}

// The lines of the update log, without their time stamps.
std::vector<std::string> logLines(const std::filesystem::path& file) {
    std::vector<std::string> lines;
    std::istringstream in(readFile(file));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line.size() > 24 ? line.substr(24) : line);
    }
    return lines;
}

std::size_t countContaining(const std::vector<std::string>& lines, const std::string& part) {
    return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), [&](const auto& l) {
        return l.find(part) != std::string::npos;
    }));
}

class LogindTest : public RealProgramTest {
  protected:
    std::filesystem::path logFile() const {
        return dir_.path() / "state" / "vigie-k7" / "updates.log";
    }

    // A system bus of the test's own, where anyone may own any name and call anything.
    void startSystemBus() {
        const auto config = dir_.path() / "system-bus.conf";
        writeFile(config,
                  "<!DOCTYPE busconfig PUBLIC"
                  " \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                  " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                  "<busconfig>\n"
                  "  <type>system</type>\n"
                  "  <keep_umask/>\n"
                  "  <listen>unix:tmpdir=" +
                      dir_.path().string() +
                      "</listen>\n"
                      "  <policy context=\"default\">\n"
                      "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                      "    <allow eavesdrop=\"true\"/>\n"
                      "    <allow own=\"*\"/>\n"
                      "  </policy>\n"
                      "</busconfig>\n");
        bus_ = std::make_unique<Peer>(
            "dbus-daemon", QStringList{"--nofork", "--print-address=1",
                                       QString::fromStdString("--config-file=" + config.string())});
        const std::string address = bus_->waitForLine("unix:");
        ASSERT_FALSE(address.empty()) << "the system bus did not start: " << bus_->errorOutput();
        env_.set("DBUS_SYSTEM_BUS_ADDRESS", address);
    }

    void startLogind() {
        logind_ = std::make_unique<Peer>("/usr/bin/python3",
                                         QStringList{"-m", "dbusmock", "--template", "logind"});
        QElapsedTimer waited;
        waited.start();
        while (!QDBusConnection::systemBus().interface()->isServiceRegistered(Logind)) {
            ASSERT_LT(waited.elapsed(), 15'000) << "no logind: " << logind_->errorOutput();
            QThread::msleep(50);
        }
    }

    // An update with a device that never answers, stopped with Close once stop() holds (checked
    // at every turn of the event loop while the update runs).
    void runStoppedUpdate(Application& app, ModalWatcher& watcher,
                          const std::function<bool()>& stop) {
        QElapsedTimer clock;
        clock.start();
        watcher.onIdle = [&] {
            auto* close = app.window.findChild<QPushButton*>("cmdClose");
            if (app.form.sessionRunning() && close->isEnabled() &&
                (stop() || clock.elapsed() > 20'000))
                close->click();
        };
        runUpdate(app);
        watcher.onIdle = nullptr;
        EXPECT_LT(clock.elapsed(), 20'000) << "stopped only by the time limit";
        EXPECT_EQ(app.form.statusLabel.caption, text::Stopped);
        EXPECT_TRUE(watcher.boxes.empty()) << watcher.describe();
        expectIdle(app);
        // The update's own lines, as every stopped update writes them.
        const std::vector<std::string> lines = logLines(logFile());
        for (const char* event :
             {"Mise à jour : port « 1 », base « Radars »", "Port COM1 ouvert (38400,N,8,1)",
              "Bouton Close", "Résultat : La mise à jour du K7 s'est arrêtée."})
            EXPECT_EQ(countContaining(lines, event), 1u) << event;
    }

    std::unique_ptr<Peer> bus_, logind_;
};

TEST_F(LogindTest, AnUpdateHoldsAnInhibitorUntilItEndsAndLogsTheSleepBetween) {
    startSystemBus();
    startLogind();
    auto device = startDevice({"--silent"});
    ModalWatcher watcher;
    Application app;
    startProgram(app);
    EXPECT_TRUE(inhibitors().empty()) << "held before any update";

    std::vector<Inhibitor> held;
    bool sleepAnnounced = false;
    runStoppedUpdate(app, watcher, [&] {
        if (held.empty()) {
            held = inhibitors();
            return false;
        }
        if (!sleepAnnounced) {
            sleepAnnounced = true;
            logindAnnouncesSleep(true);
            logindAnnouncesSleep(false);
        }
        const auto lines = logLines(logFile());
        return countContaining(lines, "L'ordinateur sort de veille pendant la mise à jour") > 0;
    });

    ASSERT_EQ(held.size(), 1u) << "the log:\n" << readFile(logFile());
    EXPECT_EQ(held[0].what, "sleep:shutdown:idle");
    EXPECT_EQ(held[0].who, "VIGIE K7");
    EXPECT_EQ(held[0].why, Reason);
    EXPECT_EQ(held[0].mode, "block");
    // The descriptor was closed with the update: logind forgets the inhibitor.
    QElapsedTimer waited;
    waited.start();
    while (!inhibitors().empty() && waited.elapsed() < 5000)
        QThread::msleep(50);
    EXPECT_TRUE(inhibitors().empty()) << "the inhibitor outlived the update";

    const auto lines = logLines(logFile());
    const auto at = [&](const std::string& part) {
        return std::find_if(lines.begin(), lines.end(),
                            [&](const auto& l) { return l.find(part) != std::string::npos; }) -
               lines.begin();
    };
    EXPECT_EQ(countContaining(lines, "Ordinateur maintenu éveillé pendant la mise à jour (logind"),
              1u);
    EXPECT_EQ(countContaining(lines, "L'ordinateur se met en veille pendant la mise à jour"), 1u);
    EXPECT_EQ(countContaining(lines, "Veille et fin de session de nouveau permises (logind"), 1u);
    EXPECT_EQ(countContaining(lines, "Veille non empêchée"), 0u);
    EXPECT_LT(at("se met en veille"), at("sort de veille"));
    EXPECT_LT(at("sort de veille"), at("de nouveau permises"));
}

// Without logind, and without a system bus at all: the update runs as it would, and its log says
// once that nothing keeps the computer awake.
class WithoutLogind : public LogindTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(WithoutLogind, TheUpdateRunsAsBeforeWithOneLineInItsLog) {
    if (std::string(GetParam()) == "BusWithoutLogind")
        startSystemBus();
    else
        env_.set("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (dir_.path() / "no-bus").string());
    auto device = startDevice({"--silent"});
    ModalWatcher watcher;
    Application app;
    startProgram(app);
    runStoppedUpdate(app, watcher, [&] {
        return countContaining(logLines(logFile()), "Veille non empêchée") > 0;
    });
    const auto lines = logLines(logFile());
    EXPECT_EQ(countContaining(lines, "Veille non empêchée pendant la mise à jour (logind"), 1u);
    EXPECT_EQ(countContaining(lines, "Ordinateur maintenu éveillé"), 0u);
    EXPECT_EQ(countContaining(lines, "de nouveau permises"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Logind, WithoutLogind,
                         ::testing::Values("BusWithoutLogind", "NoSystemBus"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace vigie::test
