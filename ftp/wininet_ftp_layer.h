#pragma once
// The FTP layer over WinINet, the Windows internet library. WinINet's FTP calls block until the
// server answers, so each call runs on a worker thread, one per connection so that the calls of
// a connection keep their order, while the calling thread yields to the window's event queue
// until the call is done. The window thus keeps its repaints, timers and Close button while the
// server is slow, and may close the connection under a running call: the call then fails at once
// with code::OperationCancelled, and the worker lets go of what it held when WinINet returns.
// A call that outlasts its timeout fails with code::Timeout, whatever WinINet would do next.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "ftp/ftp_layer.h"

namespace vigie::ftp {

struct WinInetFtpOptions {
    std::uint32_t connectTimeoutMs = 30'000;  // TCP connect
    std::uint32_t sendTimeoutMs = 60'000;     // longest wait to send a command or a block
    std::uint32_t receiveTimeoutMs = 60'000;  // longest wait for one reply or block of the server
    std::uint32_t closeTimeoutMs = 2'000;     // longest wait for a close (and the server's QUIT)
    int pollIntervalMs = 25;                  // longest wait between two yields
};

class WinInetFtpLayer : public FtpLayer {
  public:
    explicit WinInetFtpLayer(WinInetFtpOptions options = {});
    ~WinInetFtpLayer() override;
    WinInetFtpLayer(const WinInetFtpLayer&) = delete;
    WinInetFtpLayer& operator=(const WinInetFtpLayer&) = delete;

    void setYield(std::function<void()> yield) override { yield_ = std::move(yield); }

    Handle internetOpen(const std::string& agent) override;
    Handle internetConnect(Handle session, const std::string& server, int port,
                           const std::string& user, const std::string& password,
                           bool passive) override;
    Handle ftpFindFirstFile(Handle connection, const std::string& pattern, FindData& data) override;
    Handle ftpOpenFile(Handle connection, const std::string& remote, Access access) override;
    bool internetReadFile(Handle transfer, char* buffer, std::uint32_t count,
                          std::uint32_t& read) override;
    bool internetReadFileWithin(Handle transfer, char* buffer, std::uint32_t count,
                                std::uint32_t& read, std::uint32_t limitMs) override;
    bool internetWriteFile(Handle transfer, const char* buffer, std::uint32_t count,
                           std::uint32_t& written) override;
    bool ftpGetFile(Handle connection, const std::string& remote, const std::string& local,
                    bool failIfExists) override;
    bool ftpPutFile(Handle connection, const std::string& local,
                    const std::string& remote) override;
    bool internetCloseHandle(Handle handle) override;

    std::uint32_t lastError() const override { return lastError_; }
    // The text of wininet.dll's message table; "" for a code it has none for.
    std::string formatMessage(std::uint32_t code) const override;
    std::string lastResponseInfo() const override { return lastResponse_; }

    // Open handles of every kind; for tests that look for leaks.
    std::size_t openHandles() const { return objects_.size(); }
    // A call runs on a worker while its caller waits, yielding; for tests that act at that moment.
    bool callWaiting() const { return callWaiting_; }

    struct Outcome;
    class Worker;

  private:
    enum class Kind { Session, Connection, Search, Transfer };
    struct Object {
        Object(Kind k, Handle p, void* i, std::shared_ptr<Worker> w, Access a = Access::Read)
            : kind(k), parent(p), internet(i), worker(std::move(w)), access(a) {}
        Kind kind;
        Handle parent;
        void* internet;                  // the WinINet handle
        std::shared_ptr<Worker> worker;  // of the connection (or session) it belongs to
        Access access;
        std::shared_ptr<Worker> connecting;  // session: runs a connect that has not returned
    };

    Object* find(Handle handle, Kind kind);
    // The open connection of that handle, when the name of a file or pattern on the server is one
    // that may be sent; otherwise records the failure and gives nullptr.
    const Object* connectionFor(Handle connection, const std::string& remoteName);
    // Runs work on the worker and waits for it, yielding, until it is done, the timeout passes
    // (0: none) or the owner handle is closed at a yield. Records the error of a failed call.
    bool run(std::shared_ptr<Worker> worker, Handle owner, std::uint32_t timeoutMs,
             std::function<void(Outcome&)> work, Outcome& outcome);
    // A read that fails with code::Timeout after timeoutMs (0: none).
    bool readFor(Handle transfer, char* buffer, std::uint32_t count, std::uint32_t& read,
                 std::uint32_t timeoutMs);
    Handle add(Object object);
    void forget(Handle handle);
    void fail(std::uint32_t code) { lastError_ = code; }

    WinInetFtpOptions options_;
    std::function<void()> yield_;
    std::map<Handle, Object> objects_;
    Handle nextHandle_ = 0x100;
    std::uint32_t lastError_ = 0;
    std::string lastResponse_;
    bool callWaiting_ = false;
};

}  // namespace vigie::ftp
