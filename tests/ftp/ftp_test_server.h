#pragma once
// A real FTP server for the tests: pyftpdlib (Debian's python3-pyftpdlib, run by /usr/bin/python3)
// on 127.0.0.1 and a free port, serving a fresh folder to the given users. It logs every command
// it receives, so a test can see what reached it. See ftp_server.py for the faults it can inject.

#include <sys/types.h>
#include <string>
#include <vector>

#include "tests/ftp/test_bytes.h"

namespace vigie::test {

struct FtpTestUser {
    std::string name;
    std::string password;
    std::string perm = "elr";  // pyftpdlib's letters: e cwd, l list, r retrieve, w store...
};

class FtpTestServer {
  public:
    explicit FtpTestServer(std::vector<FtpTestUser> users, std::string fault = "");
    ~FtpTestServer();
    FtpTestServer(const FtpTestServer&) = delete;
    FtpTestServer& operator=(const FtpTestServer&) = delete;

    int port() const { return port_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    const std::string& root() const { return root_; }

    void putFile(const std::string& name, const std::string& bytes) const;
    std::string fileBytes(const std::string& name) const;
    // The commands received so far, one a line, with CONNECT and DISCONNECT marks.
    std::vector<std::string> commands() const;
    void clearLog() const;

  private:
    std::string dir_;
    std::string root_;
    std::string log_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// A second, unrelated server: vsftpd, anonymous and read-only, on 127.0.0.1 and a free port.
// Only where /usr/sbin/vsftpd is installed and the tests run as root (it chroots).
class VsftpdServer {
  public:
    static bool available();
    VsftpdServer();
    ~VsftpdServer();
    VsftpdServer(const VsftpdServer&) = delete;
    VsftpdServer& operator=(const VsftpdServer&) = delete;

    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    void putFile(const std::string& name, const std::string& bytes) const;

  private:
    std::string dir_;
    std::string root_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// A TCP port on 127.0.0.1 where nothing listens.
int closedPort();

// A socket that accepts connections into its backlog and never says a word.
class SilentServer {
  public:
    SilentServer();
    ~SilentServer();
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

  private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace vigie::test
