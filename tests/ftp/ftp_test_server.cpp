#include "tests/ftp/ftp_test_server.h"

#include "tests/support/files.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace vigie::test {
namespace {

int boundSocket(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket() failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("bind() failed");
    }
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

FtpTestServer::FtpTestServer(std::vector<FtpTestUser> users, std::string fault) {
    char pattern[] = "/tmp/vigie-ftp-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("mkdtemp() failed");
    dir_ = pattern;
    root_ = dir_ + "/root";
    log_ = dir_ + "/commands.log";
    std::filesystem::create_directory(root_);

    std::vector<std::string> args = {
        "/usr/bin/python3", VIGIE_FTP_SERVER_SCRIPT, "--root", root_, "--log", log_};
    for (const FtpTestUser& u : users) {
        args.push_back("--user");
        args.push_back(u.name + ":" + u.password + ":" + u.perm);
    }
    if (!fault.empty()) {
        args.push_back("--fault");
        args.push_back(fault);
    }
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe() failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const int spawned = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        throw std::runtime_error("cannot start the FTP test server");
    }

    // The server prints "PORT <n>" once it listens.
    std::string line;
    pollfd p{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && ::poll(&p, 1, 20'000) > 0) {
        char buffer[64];
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        line.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    if (line.rfind("PORT ", 0) != 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        throw std::runtime_error("the FTP test server did not start: " + line);
    }
    port_ = std::stoi(line.substr(5));
}

FtpTestServer::~FtpTestServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

void FtpTestServer::putFile(const std::string& name, const std::string& bytes) const {
    std::ofstream(root_ + "/" + name, std::ios::binary | std::ios::trunc) << bytes;
}

std::string FtpTestServer::fileBytes(const std::string& name) const {
    return readFile(root_ + "/" + name);
}

std::vector<std::string> FtpTestServer::commands() const {
    std::vector<std::string> lines;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void FtpTestServer::clearLog() const {
    std::ofstream(log_, std::ios::trunc);
}

bool VsftpdServer::available() {
    return ::access("/usr/sbin/vsftpd", X_OK) == 0 && ::geteuid() == 0;
}

VsftpdServer::VsftpdServer() {
    char pattern[] = "/tmp/vigie-vsftpd-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("mkdtemp() failed");
    dir_ = pattern;
    root_ = dir_ + "/root";
    const std::string empty = dir_ + "/empty";
    std::filesystem::create_directory(root_);
    std::filesystem::create_directory(empty);
    // The anonymous session runs as an unprivileged user: the files must be world-readable, the
    // chroot folders not writable.
    using std::filesystem::perms;
    std::filesystem::permissions(dir_, perms::owner_all | perms::group_read | perms::group_exec |
                                           perms::others_read | perms::others_exec);
    std::filesystem::permissions(root_, perms::owner_all | perms::group_read | perms::group_exec |
                                            perms::others_read | perms::others_exec);
    std::filesystem::permissions(empty, perms::owner_read | perms::owner_exec);
    port_ = closedPort();
    const std::string config = dir_ + "/vsftpd.conf";
    std::ofstream(config) << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n"
                          << "listen_port=" << port_ << "\nbackground=NO\n"
                          << "anonymous_enable=YES\nno_anon_password=YES\nanon_root=" << root_
                          << "\nlocal_enable=NO\nwrite_enable=NO\nsecure_chroot_dir=" << empty
                          << "\nseccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
                          << "pasv_enable=YES\nxferlog_enable=NO\nsyslog_enable=NO\n";
    std::string program = "/usr/sbin/vsftpd";
    std::string configArg = config;
    char* argv[] = {program.data(), configArg.data(), nullptr};
    if (::posix_spawn(&pid_, argv[0], nullptr, nullptr, argv, environ) != 0)
        throw std::runtime_error("cannot start vsftpd");
    // Ready once it accepts connections.
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port_));
        const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (up)
            return;
        ::usleep(20'000);
    }
    throw std::runtime_error("vsftpd did not start");
}

VsftpdServer::~VsftpdServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

void VsftpdServer::putFile(const std::string& name, const std::string& bytes) const {
    const std::string path = root_ + "/" + name;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    using std::filesystem::perms;
    std::filesystem::permissions(
        path, perms::owner_read | perms::owner_write | perms::group_read | perms::others_read);
}

int closedPort() {
    int port = 0;
    const int fd = boundSocket(port);
    ::close(fd);  // bound, never listened on, now free: a connect is refused
    return port;
}

SilentServer::SilentServer() {
    fd_ = boundSocket(port_);
    ::listen(fd_, 8);
}

SilentServer::~SilentServer() {
    ::close(fd_);
}

}  // namespace vigie::test
