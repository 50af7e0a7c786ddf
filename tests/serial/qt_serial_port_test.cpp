// The Qt SerialPort layer on real pseudo-terminals: opening with the line settings, the open
// failures as the program sees them, bytes both ways, and a device that goes away.

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <functional>

#include "app/main_form.h"
#include "core/runtime_error.h"
#include "serial/linux_port_probe.h"
#include "serial/qt_serial_port.h"
#include "tests/serial/event_pump.h"
#include "tests/serial/pty_link.h"
#include "tests/support/form_fixture.h"
#include "tests/support/scoped_env.h"

namespace vigie::test {
namespace {

namespace fs = std::filesystem;

std::int32_t errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const RuntimeError& e) {
        return e.Number;
    }
    return 0;
}

class QtPortTest : public ::testing::Test {
  protected:
    QtPortTest() : env_("VIGIE_COM_DIR", comDir().string()) {
        env_.set("XDG_STATE_HOME", (dir_.path() / "state").string());  // the form's log
    }

    fs::path comDir() const { return dir_.path() / "com"; }

    void openOn(QtSerialPort& port, int n, const std::string& settings = "38400,N,8,1") {
        port.setCommPort(static_cast<std::int16_t>(n));
        port.setSettings(settings);
        port.setInputLen(0);
        port.setPortOpen(true);
    }

    // Reads from the port, letting events run, until count bytes have come.
    std::string readAtLeast(QtSerialPort& port, std::size_t count) {
        std::string got;
        pumpUntil([&] {
            got += port.input();
            return got.size() >= count;
        });
        return got;
    }

    TempDir dir_;
    ScopedEnv env_;
};

struct LineCase {
    const char* settings;
    speed_t speed;
    tcflag_t parity;  // PARENB | PARODD bits expected
    tcflag_t size;
    bool twoStops;
};

TEST_F(QtPortTest, OpensRawWithTheLineSettings) {
    // A pseudo-terminal keeps 8 data bits without parity whatever it is asked for, so only the
    // speed and the stop bits can vary here.
    const LineCase cases[] = {{"38400,N,8,1", B38400, 0, CS8, false},
                              {"9600,N,8,2", B9600, 0, CS8, true},
                              {"1200,n,8,1", B1200, 0, CS8, false}};
    PtyLink device(comDir(), 2);
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.settings);
        QtSerialPort port;
        openOn(port, 2, c.settings);
        EXPECT_TRUE(port.portOpen());
        EXPECT_EQ(port.commPort(), 2);

        termios t;
        ASSERT_EQ(::tcgetattr(device.slave(), &t), 0);
        EXPECT_EQ(::cfgetospeed(&t), c.speed);
        EXPECT_EQ(t.c_cflag & (PARENB | PARODD), c.parity);
        EXPECT_EQ(t.c_cflag & CSIZE, c.size);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStops);
        // Nothing may change the bytes on their way: no line editing, echo, CR/LF translation
        // or software flow control.
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | IXON | ISTRIP), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);

        port.setPortOpen(false);
        EXPECT_FALSE(port.portOpen());
    }
}

TEST_F(QtPortTest, RefusesSettingsItCannotApply) {
    // The line settings' parser has its own table; one refusal shows that the port uses it.
    QtSerialPort port;
    EXPECT_EQ(errorOf([&] { port.setSettings("38400,N,9,1"); }), 380);
}

TEST_F(QtPortTest, OpenFailuresTellAMissingPortFromTheRest) {
    PtyLink device(comDir(), 1);
    fs::create_symlink("/dev/pts/999999", comDir() / "COM3");
    writeFile(comDir() / "COM4", "not a terminal");

    QtSerialPort port;
    EXPECT_EQ(errorOf([&] { openOn(port, 2); }), err::InvalidPortNumber);  // no entry
    EXPECT_EQ(errorOf([&] { openOn(port, 3); }), err::InvalidPortNumber);  // a link to nothing
    EXPECT_EQ(errorOf([&] { port.setCommPort(0); }), err::InvalidPortNumber);
    EXPECT_EQ(errorOf([&] { openOn(port, 4); }), err::PortOpenFailed);  // not a serial port
    EXPECT_FALSE(port.portOpen());

    openOn(port, 1);
    EXPECT_EQ(errorOf([&] { port.setPortOpen(true); }), err::PortAlreadyOpen);

    // Another user of the port holds it (through Qt's own lock).
    QtSerialPort second;
    EXPECT_EQ(errorOf([&] { openOn(second, 1); }), err::PortOpenFailed);
    EXPECT_FALSE(second.portOpen());
    port.setPortOpen(false);
    EXPECT_EQ(errorOf([&] { openOn(second, 1); }), 0);
}

TEST_F(QtPortTest, OpenComPortOverTheRealPortShowsTheRightOutcome) {
    PtyLink device(comDir(), 1);
    QtSerialPort holder;
    struct Case {
        const char* entry;
        bool opened;
        const char* box;  // start of the box text, "" for none
    };
    const Case cases[] = {{" 1", true, ""},
                          {" 5", false, "Une erreur s'est produite en essayant"},
                          {"1 - In Use", false, "Une erreur s\u2019est produite lors"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        VirtualPlatform platform(dir_.path().string());
        QtSerialPort port;
        FakeProbe probe;
        MainForm form(platform, port, probe, nullptr);
        form.portList.addItem(c.entry);
        form.portList.listIndex = 0;
        EXPECT_EQ(form.session().openSerialPort(38400), c.opened);
        EXPECT_EQ(port.portOpen(), c.opened);
        if (*c.box) {
            ASSERT_EQ(platform.boxes.size(), 1u);
            EXPECT_EQ(platform.boxes[0].text.rfind(c.box, 0), 0u) << platform.boxes[0].text;
        } else {
            EXPECT_TRUE(platform.boxes.empty());
        }
    }

    // A port that another user holds: no box, and the update does not start.
    openOn(holder, 1);
    VirtualPlatform platform(dir_.path().string());
    QtSerialPort port;
    FakeProbe probe;
    MainForm form(platform, port, probe, nullptr);
    form.portList.addItem(" 1");
    form.portList.listIndex = 0;
    EXPECT_FALSE(form.session().openSerialPort(38400));
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_EQ(form.portStateLabel.caption, "Port Closed");
}

TEST_F(QtPortTest, ThePortOfARunningUpdateProbesAsInUse) {
    PtyLink device(comDir(), 1);
    SystemPortProbe probe;  // the system's lock folders
    QtSerialPort port;
    ASSERT_EQ(probe.probe(1), ProbeResult::Opened);
    openOn(port, 1);
    EXPECT_EQ(probe.probe(1), ProbeResult::AccessDenied);
    port.setPortOpen(false);
    EXPECT_EQ(probe.probe(1), ProbeResult::Opened);
}

TEST_F(QtPortTest, EveryByteValuePassesBothWaysUnchanged) {
    PtyLink device(comDir(), 1);
    QtSerialPort port;
    openOn(port, 1);
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);

    EXPECT_EQ(port.input(), "");  // nothing came yet
    device.deviceWrites(all);
    EXPECT_EQ(readAtLeast(port, 256), all);
    EXPECT_EQ(port.input(), "");  // taken by the previous read

    // Writes go out whole and in order.
    port.output(all.substr(0, 100));
    port.output(all.substr(100, 1));
    port.output("");
    port.output(all.substr(101));
    EXPECT_EQ(device.deviceReads(256), all);
}

TEST_F(QtPortTest, InputLenLimitsEachRead) {
    PtyLink device(comDir(), 1);
    QtSerialPort port;
    openOn(port, 1);
    port.setInputLen(3);
    device.deviceWrites("abcdefg");
    std::string first;
    ASSERT_TRUE(pumpUntil([&] {
        first = port.input();
        return !first.empty();
    }));
    EXPECT_LE(first.size(), 3u);
    port.setInputLen(0);
    EXPECT_EQ(first + readAtLeast(port, 7 - first.size()), "abcdefg");
}

TEST_F(QtPortTest, AClosedPortSkipsWritesAndReadsNothing) {
    PtyLink device(comDir(), 1);
    QtSerialPort port;
    port.output("lost");  // never opened
    openOn(port, 1);
    port.setPortOpen(false);
    port.output("lost");  // closed again
    EXPECT_EQ(port.input(), "");
    EXPECT_FALSE(device.deviceHasInput());
    port.setPortOpen(false);  // closing twice is fine
    EXPECT_FALSE(port.portOpen());
}

TEST_F(QtPortTest, ADeviceThatGoesAwayRaisesAtTheNextReadAndWrite) {
    auto device = std::make_unique<PtyLink>(comDir(), 1);
    QtSerialPort port;
    openOn(port, 1);
    device->closeSlave();
    device->closeMaster();

    std::int32_t readError = 0;
    EXPECT_TRUE(pumpUntil([&] {
        readError = errorOf([&] { port.input(); });
        return readError != 0;
    }));
    EXPECT_EQ(readError, err::ReadError);
    EXPECT_TRUE(port.deviceLost());
    EXPECT_TRUE(port.portOpen());  // until the program closes it
    EXPECT_EQ(errorOf([&] { port.output("x"); }), err::WriteError);
    EXPECT_EQ(errorOf([&] { port.input(); }), err::ReadError);

    // The lost device is not reported again and again while the event loop turns.
    const int reports = port.errorReports();
    for (int i = 0; i < 200; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(port.errorReports(), reports);
    EXPECT_LE(reports, 3);

    port.setPortOpen(false);
    EXPECT_FALSE(port.portOpen());
    EXPECT_FALSE(port.deviceLost());
    EXPECT_EQ(errorOf([&] { port.output("x"); }), 0);
    EXPECT_EQ(port.input(), "");

    // The device comes back under the same name: the port opens and works again.
    device.reset();
    device = std::make_unique<PtyLink>(comDir(), 1);
    openOn(port, 1);
    port.output("back");
    EXPECT_EQ(device->deviceReads(4), "back");
}

TEST_F(QtPortTest, AWriteFindsTheLossWithoutWaitingForEvents) {
    PtyLink device(comDir(), 1);
    QtSerialPort port;
    openOn(port, 1);
    device.closeSlave();
    device.closeMaster();
    EXPECT_EQ(errorOf([&] { port.output("anyone?"); }), err::WriteError);
    EXPECT_TRUE(port.portOpen());
    port.setPortOpen(false);
}

}  // namespace
}  // namespace vigie::test
