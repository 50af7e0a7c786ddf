#pragma once
// An FTP server in memory behind the FtpLayer interface, for tests that need FtpClient without a
// network: users, files, and failures injected on demand. It keeps the rules of the real layer:
// the login is checked at connect, one remote file open per connection, closing a connection
// releases what is open under it, stale handles fail.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ftp/ftp_layer.h"

namespace vigie::test {

class MemoryFtpLayer : public ftp::FtpLayer {
  public:
    std::map<std::string, std::string> users;  // name -> password
    std::map<std::string, std::string> files;  // remote name -> bytes; searched in name order
    std::string loginReply = "230 Login successful.";  // some servers name the user here

    // Failures.
    bool unreachable = false;  // connects fail as if no server answered (code 12029)
    int busyConnects = 0;      // the next connects are turned away with 421 (code 12003)
    int failReadAt = 0;        // the Nth read (1-based, counted over the layer's life) fails
    bool failOpen = false;     // opening a remote file fails with openFailReply (code 12003)
    std::string openFailReply = "550 Failed to open file.";
    // Connects and reads yield once first, as if they waited for the network; the window may
    // close the connection there, and the call then fails (code 12017).
    bool yieldWhileWaiting = false;

    // What reached the "server": "CONNECT user", "LIST pattern", "RETR name", "STOR name".
    std::vector<std::string> log;
    int reads = 0;
    int connectCalls = 0;  // internetConnect calls, refused ones included
    std::size_t openHandles() const { return objects_.size(); }

    void setYield(std::function<void()> yield) override { yield_ = std::move(yield); }
    ftp::Handle internetOpen(const std::string& agent) override;
    ftp::Handle internetConnect(ftp::Handle session, const std::string& server, int port,
                                const std::string& user, const std::string& password,
                                bool passive) override;
    ftp::Handle ftpFindFirstFile(ftp::Handle connection, const std::string& pattern,
                                 ftp::FindData& data) override;
    ftp::Handle ftpOpenFile(ftp::Handle connection, const std::string& remote,
                            ftp::Access access) override;
    bool internetReadFile(ftp::Handle transfer, char* buffer, std::uint32_t count,
                          std::uint32_t& read) override;
    bool internetWriteFile(ftp::Handle transfer, const char* buffer, std::uint32_t count,
                           std::uint32_t& written) override;
    bool ftpGetFile(ftp::Handle connection, const std::string& remote, const std::string& local,
                    bool failIfExists) override;
    bool ftpPutFile(ftp::Handle connection, const std::string& local,
                    const std::string& remote) override;
    bool internetCloseHandle(ftp::Handle handle) override;
    std::uint32_t lastError() const override { return lastError_; }
    std::string formatMessage(std::uint32_t code) const override;
    std::string lastResponseInfo() const override { return lastResponse_; }

  private:
    enum class Kind { Session, Connection, Search, Read, Write };
    struct Object {
        Kind kind;
        ftp::Handle parent;
        std::string name;
        std::size_t offset = 0;
        std::string data;  // bytes of an upload so far
    };
    Object* find(ftp::Handle handle, Kind kind);
    bool connectionBusy(ftp::Handle connection) const;
    bool fail(std::uint32_t code) {
        lastError_ = code;
        return false;
    }

    std::function<void()> yield_;
    std::map<ftp::Handle, Object> objects_;
    ftp::Handle next_ = 1;
    std::uint32_t lastError_ = 0;
    std::string lastResponse_;
};

}  // namespace vigie::test
