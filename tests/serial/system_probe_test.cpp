// The system's port probe on real pseudo-terminals: free, absent, held by another process (lock
// file, flock, exclusive mode), out of this user's reach, and neither; the ports the system lists
// and their names, from a device folder and a system description folder made by the test.

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <vector>

#include "serial/linux_port_probe.h"
#include "tests/serial/pty_link.h"
#include "tests/support/form_fixture.h"
#include "tests/support/scoped_env.h"

namespace vigie::test {
namespace {

namespace fs = std::filesystem;
using R = ProbeResult;

const char* name(R r) {
    switch (r) {
        case R::Opened:
            return "Opened";
        case R::NotFound:
            return "NotFound";
        case R::AccessDenied:
            return "AccessDenied";
        case R::OtherError:
            return "OtherError";
    }
    return "?";
}

class SystemProbeTest : public ::testing::Test {
  protected:
    SystemProbeTest() {
        fs::create_directories(comDir());
        fs::create_directories(lockDir());
        env_.set("VIGIE_COM_DIR", comDir().string());
    }

    fs::path comDir() const { return dir_.path() / "com"; }
    fs::path lockDir() const { return dir_.path() / "lock"; }
    SystemPortProbe probe() const { return SystemPortProbe({lockDir().string()}); }
    void writeLock(const std::string& name, const std::string& content) {
        std::ofstream(lockDir() / name, std::ios::binary) << content;
    }

    TempDir dir_;
    ScopedEnv env_;
};

TEST_F(SystemProbeTest, SortsThePortsOfTheComFolder) {
    PtyLink free(comDir(), 1);
    writeFile(comDir() / "COM3", "not a terminal");
    fs::create_symlink("/dev/pts/999999", comDir() / "COM4");  // leads nowhere
    fs::create_directories(comDir() / "COM5");
    // A terminal whose other side is locked answers with an I/O error.
    PtyLink locked(comDir(), 6);
    int lock = 1;
    ASSERT_EQ(::ioctl(locked.master(), TIOCSPTLCK, &lock), 0);
    locked.closeSlave();

    SystemPortProbe p = probe();
    const std::pair<int, R> expected[] = {{1, R::Opened},   {2, R::NotFound},   {3, R::OtherError},
                                          {4, R::NotFound}, {5, R::OtherError}, {6, R::OtherError}};
    for (const auto& [n, result] : expected)
        EXPECT_STREQ(name(p.probe(n)), name(result)) << "COM" << n;
}

TEST_F(SystemProbeTest, AMissingComFolderHasNoPorts) {
    env_.set("VIGIE_COM_DIR", (dir_.path() / "nowhere").string());
    EXPECT_STREQ(name(probe().probe(1)), "NotFound");
    writeFile(dir_.path() / "file", "");
    env_.set("VIGIE_COM_DIR", (dir_.path() / "file").string());
    EXPECT_STREQ(name(probe().probe(1)), "NotFound");
}

TEST_F(SystemProbeTest, ListsEveryPortOfTheComFolder) {
    PtyLink com3(comDir(), 3);
    PtyLink com15(comDir(), 15);
    PtyLink com255(comDir(), 255);
    writeFile(comDir() / "COM27", "");  // present, whatever it turns out to be when probed
    writeFile(comDir() / "COM256", "");
    writeFile(comDir() / "COM015", "");
    fs::create_symlink("/dev/pts/999999", comDir() / "COM40");  // leads nowhere: gone
    EXPECT_EQ(probe().listedPorts(), (std::vector<int>{3, 15, 27, 255}));

    // Probed side by side through the same paths, the ones above 12 included.
    const auto answers = probe().probeAll({3, 15, 27, 40, 255}, std::chrono::seconds(10));
    const std::map<int, R> expected{
        {3, R::Opened}, {15, R::Opened}, {27, R::OtherError}, {40, R::NotFound}, {255, R::Opened}};
    ASSERT_EQ(answers.size(), expected.size());
    for (const auto& [n, result] : expected)
        EXPECT_STREQ(name(answers.at(n)), name(result)) << "COM" << n;
}

// A machine's /dev and /sys as the test lays them out.
class SystemDevicesTest : public SystemProbeTest {
  protected:
    SystemDevicesTest() { env_.unset("VIGIE_COM_DIR"); }

    fs::path dev() const { return dir_.path() / "dev"; }
    fs::path sys() const { return dir_.path() / "sys"; }
    SystemPortProbe probe() const {
        return SystemPortProbe({lockDir().string()}, dev().string(), sys().string());
    }
    // A serial device of the kernel; uartType is what it says of the UART behind a ttyS ("" for
    // none said).
    void addDevice(const std::string& tty, const std::string& uartType = "") {
        writeFile(dev() / tty, "");
        fs::create_directories(sys() / "class" / "tty" / tty);
        if (!uartType.empty())
            writeFile(sys() / "class" / "tty" / tty / "type", uartType + "\n");
    }
    // A USB adapter behind the device: the names live two levels above the tty's interface.
    void addUsbAdapter(const std::string& tty, const std::map<std::string, std::string>& files) {
        const fs::path usb = sys() / "devices" / "pci0000:00" / ("usb-" + tty) / "1-1";
        const fs::path interface = usb / "1-1:1.0";
        fs::create_directories(interface / tty);
        for (const auto& [file, text] : files)
            writeFile(usb / file, text + "\n");
        fs::create_symlink(interface, sys() / "class" / "tty" / tty / "device");
    }
};

TEST_F(SystemDevicesTest, ListsTheSerialFamiliesUnderTheirNumbers) {
    for (const char* tty : {"ttyS0", "ttyUSB0", "ttyUSB4", "ttyUSB15", "ttyACM7", "ttyS12"})
        addDevice(tty);
    addDevice("ttyS4", "0");  // the kernel's placeholder: no UART
    addDevice("ttyS5", "4");  // a 16550A on a card
    for (const char* other : {"ttyUSB", "ttyAMA0", "tty5", "ttyUSB100", "console"})
        addDevice(other);
    EXPECT_EQ(probe().listedPorts(), (std::vector<int>{1, 5, 14, 21, 104, 115, 207}));
    EXPECT_EQ(probe().devicePath(104), (dev() / "ttyUSB4").string());
    EXPECT_TRUE(SystemPortProbe({}, (dir_.path() / "none").string()).listedPorts().empty());
}

TEST_F(SystemDevicesTest, NamesAUsbAdapterByItsMakerAndProduct) {
    addDevice("ttyS0");
    addDevice("ttyUSB4");
    addUsbAdapter("ttyUSB4", {{"manufacturer", "FTDI"},
                              {"product", "FT232R USB UART"},
                              {"idVendor", "0403"},
                              {"idProduct", "6001"}});
    addDevice("ttyUSB5");
    addUsbAdapter("ttyUSB5", {{"product", "USB Serial"}, {"idVendor", "1a86"}});
    addDevice("ttyUSB6");
    addUsbAdapter("ttyUSB6", {{"idVendor", "067b"}, {"idProduct", "2303"}});
    addDevice("ttyACM4");
    addUsbAdapter(
        "ttyACM4",
        {{"manufacturer", "Acme"}, {"product", "Acme\tK7 \x1b[2Jlink"}, {"idVendor", "1234"}});

    const std::string d = dev().string();
    const std::map<int, std::string> expected{
        {1, d + "/ttyS0"},  // a built-in port: its device only
        {104, "FTDI FT232R USB UART (" + d + "/ttyUSB4)"},
        {105, "USB Serial (" + d + "/ttyUSB5)"},
        {106, "USB 067b:2303 (" + d + "/ttyUSB6)"},
        {204, "AcmeK7 [2Jlink (" + d + "/ttyACM4)"},  // control characters dropped
        {12, d + "/ttyACM3"},                         // not there: what it would be
    };
    EXPECT_EQ(probe().describePorts({1, 12, 100, 104, 105, 106, 204}), expected);
}

TEST_F(SystemProbeTest, NamesALinkOfTheComFolderByTheDeviceItLeadsTo) {
    PtyLink com15(comDir(), 15);
    const auto descriptions = probe().describePorts({15, 16});
    EXPECT_EQ(descriptions.at(15), com15.slavePath());
    EXPECT_EQ(descriptions.at(16), (comDir() / "COM16").string());
}

TEST_F(SystemProbeTest, ProbingLeavesTheLineAsItWas) {
    PtyLink port(comDir(), 1);
    port.deviceWrites("waiting");
    EXPECT_STREQ(name(probe().probe(1)), "Opened");
    EXPECT_STREQ(name(probe().probe(1)), "Opened");
    // What the device had sent is still there for the port's user, and the probe took no lock.
    char buf[16] = {};
    ::fcntl(port.slave(), F_SETFL, O_NONBLOCK);
    EXPECT_EQ(::read(port.slave(), buf, sizeof buf), 7);
    EXPECT_STREQ(buf, "waiting");
    EXPECT_EQ(::flock(port.slave(), LOCK_EX | LOCK_NB), 0);
}

// Lock files of the serial-lock convention, under the names other programs give them.
TEST_F(SystemProbeTest, ALiveLockFileMeansInUse) {
    PtyLink port(comDir(), 1);
    std::string flat = port.slavePath().substr(5);  // pts/N
    for (char& c : flat)
        if (c == '/')
            c = '_';
    std::string flatLink = port.link().string();
    for (char& c : flatLink)
        if (c == '/')
            c = '_';
    Holder owner([] { return true; });
    ASSERT_TRUE(owner.ready());
    const std::string pid = std::to_string(owner.pid());

    // The old binary form, from an owner whose id could also pass for text: its low byte is a
    // digit character.
    std::unique_ptr<Holder> binaryOwner;
    for (int attempt = 0; attempt < 2000 && !binaryOwner; ++attempt) {
        auto candidate = std::make_unique<Holder>([] { return true; });
        if ((candidate->pid() & 0xFF) >= '0' && (candidate->pid() & 0xFF) <= '9')
            binaryOwner = std::move(candidate);
    }
    ASSERT_TRUE(binaryOwner && binaryOwner->ready());
    const std::int32_t binaryPid = binaryOwner->pid();
    const std::pair<std::string, std::string> locks[] = {
        {"LCK..COM1", "      " + pid + "\n"},             // padded decimal
        {"LCK.." + flat, pid + "\nsomeprogram\nhost\n"},  // id, program, host
        {"LCK.." + flatLink, pid + "\n"},                 // named after the link's own path
        {"LCK..COM1", std::string(reinterpret_cast<const char*>(&binaryPid), 4)},
    };
    for (const auto& [lockName, content] : locks) {
        SCOPED_TRACE(lockName);
        writeLock(lockName, content);
        EXPECT_STREQ(name(probe().probe(1)), "AccessDenied");
        // The same lock in a folder the probe does not search means nothing.
        EXPECT_STREQ(name(SystemPortProbe({(dir_.path() / "elsewhere").string()}).probe(1)),
                     "Opened");
        fs::remove(lockDir() / lockName);
    }
    EXPECT_STREQ(name(probe().probe(1)), "Opened");
}

TEST_F(SystemProbeTest, StaleOrUnreadableLockFilesAreIgnored) {
    PtyLink port(comDir(), 1);
    const std::string dead = std::to_string(deadPid());
    for (const std::string& content : {dead + "\n", std::string("garbage\n"), std::string(""),
                                       std::string("0\n"), std::string("-5\n")}) {
        SCOPED_TRACE(content);
        writeLock("LCK..COM1", content);
        EXPECT_STREQ(name(probe().probe(1)), "Opened");
    }
}

TEST_F(SystemProbeTest, AnFlockHeldByAnotherProcessMeansInUse) {
    PtyLink port(comDir(), 1);
    const std::string path = port.link().string();
    {
        Holder holder([&] {
            const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            return fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        });
        ASSERT_TRUE(holder.ready());
        EXPECT_STREQ(name(probe().probe(1)), "AccessDenied");
    }
    EXPECT_STREQ(name(probe().probe(1)), "Opened");
}

TEST_F(SystemProbeTest, ExclusiveModeMeansInUse) {
    PtyLink port(comDir(), 1);
    const std::string path = port.link().string();
    {
        Holder holder([&] {
            const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            return fd >= 0 && ::ioctl(fd, TIOCEXCL) == 0;
        });
        ASSERT_TRUE(holder.ready());
        // As root the open succeeds anyway; as another user it fails with EBUSY.
        EXPECT_STREQ(name(probe().probe(1)), "AccessDenied");
    }
    // Exclusive mode belongs to the terminal and lasts while anybody holds it open, as this test
    // does: clear it.
    ::ioctl(port.slave(), TIOCNXCL);
    EXPECT_STREQ(name(probe().probe(1)), "Opened");
}

// The probe as a user who may not use the port. As root the probe runs in a child that has
// become "nobody"; otherwise the port is made unreadable to its owner.
TEST_F(SystemProbeTest, APortOutOfThisUsersReachIsInUse) {
    PtyLink port(comDir(), 1);
    const std::string path = port.link().string();
    const std::string lockDir = this->lockDir().string();
    auto probeAsOther = [&]() {
        return runInChild([&] {
            if (::geteuid() == 0 &&
                (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
                return 100;
            return static_cast<int>(SystemPortProbe({lockDir}).probePath(path));
        });
    };
    const bool root = ::geteuid() == 0;
    ASSERT_EQ(::chmod(port.slavePath().c_str(), root ? 0600 : 0), 0);
    EXPECT_EQ(probeAsOther(), static_cast<int>(R::AccessDenied));  // EACCES

    if (root) {
        // Open to everybody but held in exclusive mode: another user gets EBUSY.
        ASSERT_EQ(::chmod(port.slavePath().c_str(), 0666), 0);
        EXPECT_EQ(probeAsOther(), static_cast<int>(R::Opened));
        ASSERT_EQ(::ioctl(port.slave(), TIOCEXCL), 0);
        EXPECT_EQ(probeAsOther(), static_cast<int>(R::AccessDenied));
        ::ioctl(port.slave(), TIOCNXCL);
    }
}

}  // namespace
}  // namespace vigie::test
