// The system's port probe on real pseudo-terminals: free, absent, held by another process (lock
// file, flock, exclusive mode), out of this user's reach, and neither.

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>

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
