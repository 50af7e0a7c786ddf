#include "serial/linux_port_probe.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>

#include "serial/port_names.h"

namespace vigie {
namespace {

class FdGuard {
  public:
    explicit FdGuard(int fd) : fd_(fd) {}
    ~FdGuard() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

ProbeResult classifyOpenFailure(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
        case ENODEV:
        case ENXIO:
            return ProbeResult::NotFound;
        case EACCES:
        case EPERM:
        case EBUSY:
            return ProbeResult::AccessDenied;
        default:
            return ProbeResult::OtherError;
    }
}

std::string baseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The names a lock of this device may carry: the classic one built from the device's own name
// (LCK..ttyUSB0), and the one built from its whole path below /dev with '/' turned into '_'
// (LCK..pts_3, or LCK.._tmp_com_COM1 for a device outside /dev), for the path as given and for the
// device it leads to.
std::set<std::string> lockNames(const std::string& devicePath) {
    std::set<std::string> names;
    std::vector<std::string> paths{devicePath};
    if (char* real = ::realpath(devicePath.c_str(), nullptr)) {
        paths.emplace_back(real);
        std::free(real);
    }
    for (const std::string& path : paths) {
        names.insert("LCK.." + baseName(path));
        std::string flat = path.rfind("/dev/", 0) == 0 ? path.substr(5) : path;
        for (char& c : flat)
            if (c == '/')
                c = '_';
        names.insert("LCK.." + flat);
    }
    return names;
}

// The owner's process id in a lock file: ASCII decimal (possibly padded with blanks, possibly
// followed by more lines), or the older 4-byte binary form. 0 when there is none.
pid_t lockOwner(const std::string& lockPath) {
    const int fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return 0;
    FdGuard guard(fd);
    char data[64];
    const ssize_t n = ::read(fd, data, sizeof data);
    if (n <= 0)
        return 0;
    const auto size = static_cast<std::size_t>(n);
    // Four bytes that are not all decimal text are the binary form (a process id never fills the
    // high byte, so that form always holds a NUL).
    bool text = true;
    for (std::size_t k = 0; k < size; ++k)
        text = text && (std::isdigit(static_cast<unsigned char>(data[k])) ||
                        std::isspace(static_cast<unsigned char>(data[k])));
    if (size == 4 && !text) {
        std::int32_t pid = 0;
        std::memcpy(&pid, data, 4);
        return pid > 0 ? static_cast<pid_t>(pid) : 0;
    }
    std::size_t i = 0;
    while (i < size && std::isspace(static_cast<unsigned char>(data[i])))
        ++i;
    long long pid = 0;
    while (i < size && std::isdigit(static_cast<unsigned char>(data[i])) && pid <= INT_MAX)
        pid = pid * 10 + (data[i++] - '0');
    return pid > 0 && pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
}

bool processAlive(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace

SystemPortProbe::SystemPortProbe(std::vector<std::string> lockDirs)
    : lockDirs_(std::move(lockDirs)) {}

ProbeResult SystemPortProbe::probe(int portNumber) {
    const std::string path = portDevicePath(portNumber);
    if (path.empty())
        return ProbeResult::NotFound;
    return probePath(path);
}

ProbeResult SystemPortProbe::probePath(const std::string& devicePath) const {
    // Non-blocking, so that a modem line does not hold us; no controlling terminal, so that the
    // device never becomes ours.
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return classifyOpenFailure(errno);
    FdGuard guard(fd);
    if (!::isatty(fd))
        return ProbeResult::OtherError;

    // Exclusive mode keeps other users out with EBUSY, but not root: look at the flag itself.
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive)
        return ProbeResult::AccessDenied;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return ProbeResult::AccessDenied;
    if (lockedByLiveProcess(devicePath))
        return ProbeResult::AccessDenied;
    return ProbeResult::Opened;  // the guard closes it, releasing our flock with it
}

bool SystemPortProbe::lockedByLiveProcess(const std::string& devicePath) const {
    for (const std::string& name : lockNames(devicePath)) {
        for (const std::string& dir : lockDirs_) {
            const pid_t owner = lockOwner(dir + "/" + name);
            // A lock of this very process counts too: our own session holds the port.
            if (owner > 0 && processAlive(owner))
                return true;
        }
    }
    return false;
}

}  // namespace vigie
