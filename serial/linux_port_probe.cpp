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
#include <filesystem>
#include <fstream>
#include <set>

#include "core/text.h"
#include "serial/parallel_probe.h"
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

// The first line of a small file of the system's, without control characters (a USB device
// names itself: what it says reaches the window and the log); "" when it cannot be read.
std::string systemText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    std::getline(in, line);
    std::string text;
    for (char c : line)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
            text += c;
    return trimSpaces(text);
}

}  // namespace

SystemPortProbe::SystemPortProbe(std::vector<std::string> lockDirs, std::string devDir,
                                 std::string sysDir)
    : lockDirs_(std::move(lockDirs)), devDir_(std::move(devDir)), sysDir_(std::move(sysDir)) {}

std::string SystemPortProbe::devicePath(int portNumber) const {
    if (const char* dir = std::getenv("VIGIE_COM_DIR"); dir && *dir)
        return portDevicePath(portNumber);
    const std::string name = portDeviceName(portNumber);
    return name.empty() ? "" : devDir_ + "/" + name;
}

ProbeResult SystemPortProbe::probe(int portNumber) {
    const std::string path = devicePath(portNumber);
    if (path.empty())
        return ProbeResult::NotFound;
    return probePath(path);
}

std::map<int, ProbeResult> SystemPortProbe::probeAll(const std::vector<int>& ports,
                                                     std::chrono::milliseconds limit) {
    // The paths are settled here, once: a probe left behind must not read the environment
    // while somebody changes it.
    std::map<int, std::string> paths;
    for (int n : ports)
        paths[n] = devicePath(n);
    return probeSideBySide(
        [self = *this, paths](int n) {
            const std::string& path = paths.at(n);
            return path.empty() ? ProbeResult::NotFound : self.probePath(path);
        },
        ports, limit);
}

std::vector<int> SystemPortProbe::listedPorts() {
    namespace fs = std::filesystem;
    std::set<int> ports;
    std::error_code ec;
    if (const char* dir = std::getenv("VIGIE_COM_DIR"); dir && *dir) {
        for (int n = 1; n <= kHighestPort; ++n)
            if (fs::exists(portDevicePath(n), ec))
                ports.insert(n);
        return {ports.begin(), ports.end()};
    }
    for (fs::directory_iterator it(devDir_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const int n = portNumberOfDevice(name);
        if (n > 0 && !emptyUart(name))
            ports.insert(n);
    }
    return {ports.begin(), ports.end()};
}

std::map<int, std::string> SystemPortProbe::describePorts(const std::vector<int>& ports) {
    std::map<int, std::string> descriptions;
    for (int n : ports) {
        std::string device = devicePath(n);
        if (device.empty())
            continue;
        // A link in VIGIE_COM_DIR, or a name udev gave, is shown as the device it leads to.
        if (char* real = ::realpath(device.c_str(), nullptr)) {
            device = real;
            std::free(real);
        }
        descriptions[n] = describePort(adapterName(baseName(device)), device);
    }
    return descriptions;
}

std::string SystemPortProbe::adapterName(const std::string& ttyName) const {
    namespace fs = std::filesystem;
    std::error_code ec;
    // The tty's device is an interface of the USB device, which holds the names, a few levels up.
    fs::path at = fs::canonical(fs::path(sysDir_) / "class" / "tty" / ttyName / "device", ec);
    for (int level = 0; !ec && level < 6 && at.has_relative_path();
         ++level, at = at.parent_path()) {
        if (!fs::exists(at / "idVendor", ec))
            continue;
        const std::string maker = systemText(at / "manufacturer");
        const std::string product = systemText(at / "product");
        if (maker.empty() && product.empty())
            return "USB " + systemText(at / "idVendor") + ":" + systemText(at / "idProduct");
        if (maker.empty() || product.rfind(maker, 0) == 0)
            return product;
        return product.empty() ? maker : maker + " " + product;
    }
    return "";
}

bool SystemPortProbe::emptyUart(const std::string& ttyName) const {
    // The kernel makes ttyS devices whether or not a UART answers behind them; it tells which by
    // the port's type, 0 for none.
    return ttyName.rfind("ttyS", 0) == 0 &&
           systemText(std::filesystem::path(sysDir_) / "class" / "tty" / ttyName / "type") == "0";
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
