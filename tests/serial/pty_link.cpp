#include "tests/serial/pty_link.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace vigie::test {

PtyLink::PtyLink(const std::filesystem::path& dir, int portNumber) {
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    slavePath_ = ::ttyname(slave_);
    termios t;
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave_, TCSANOW, &t);
    link_ = dir / ("COM" + std::to_string(portNumber));
    std::filesystem::create_directories(dir);
    std::filesystem::remove(link_);
    std::filesystem::create_symlink(slavePath_, link_);
}

PtyLink::~PtyLink() {
    closeSlave();
    closeMaster();
    std::error_code ec;
    std::filesystem::remove(link_, ec);
}

void PtyLink::closeMaster() {
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

void PtyLink::closeSlave() {
    if (slave_ >= 0)
        ::close(slave_);
    slave_ = -1;
}

void PtyLink::deviceWrites(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw std::runtime_error("write on the pty master failed");
        done += static_cast<std::size_t>(n);
    }
}

std::string PtyLink::deviceReads(std::size_t count) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0 || !(p.revents & POLLIN))
            continue;
        char buf[4096];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0)
            out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

bool PtyLink::deviceHasInput() {
    pollfd p{master_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

Holder::Holder(const std::function<bool()>& setup) {
    int toParent[2], toChild[2];
    if (::pipe2(toParent, O_CLOEXEC) != 0 || ::pipe2(toChild, O_CLOEXEC) != 0)
        return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(toParent[0]);
        ::close(toChild[1]);
        const char ok = setup() ? 'y' : 'n';
        (void)!::write(toParent[1], &ok, 1);
        char c;
        while (::read(toChild[0], &c, 1) > 0) {
        }
        ::_exit(0);
    }
    ::close(toParent[1]);
    ::close(toChild[0]);
    release_ = toChild[1];
    char ok = 'n';
    ready_ = pid_ > 0 && ::read(toParent[0], &ok, 1) == 1 && ok == 'y';
    ::close(toParent[0]);
}

Holder::~Holder() {
    if (release_ >= 0)
        ::close(release_);
    if (pid_ > 0) {
        int status;
        ::waitpid(pid_, &status, 0);
    }
}

int runInChild(const std::function<int()>& work) {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(work() & 0xFF);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

pid_t deadPid() {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    int status;
    ::waitpid(pid, &status, 0);
    return pid;
}

}  // namespace vigie::test
