#pragma once
// The FTP layer over libcurl. Each connection owns one easy handle and one multi handle: the
// multi handle keeps the logged-in control connection in its cache, so every later operation on
// the connection reuses it, and drives the transfers without blocking. While a call waits for the
// network it polls with a short timeout and yields between polls, so the window stays responsive
// and may even close the connection under the running call (the call then fails with
// code::OperationCancelled).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ftp/ftp_layer.h"
#include "ftp/list_line.h"

namespace vigie::ftp {

struct CurlFtpOptions {
    long connectTimeoutMs = 30'000;        // TCP connect, greeting and login
    long responseTimeoutSec = 60;          // longest wait for one reply of the server
    long quitTimeoutSec = 2;               // longest wait for the reply to QUIT when closing
    long lowSpeedLimit = 1;                // bytes per second ...
    long lowSpeedTimeSec = 60;             // ... for this long ends a transfer
    int pollIntervalMs = 25;               // longest wait between two yields
    std::size_t bufferLimit = 256 * 1024;  // received bytes held for the reader
};

class CurlFtpLayer : public FtpLayer {
  public:
    explicit CurlFtpLayer(CurlFtpOptions options = {});
    ~CurlFtpLayer() override;
    CurlFtpLayer(const CurlFtpLayer&) = delete;
    CurlFtpLayer& operator=(const CurlFtpLayer&) = delete;

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
    std::string formatMessage(std::uint32_t code) const override;
    std::string lastResponseInfo() const override { return lastResponse_; }

    // Codes of this layer beyond the shared ones.
    static constexpr std::uint32_t TransferInProgress = 12110;  // one operation per connection
    static constexpr std::uint32_t FileExists = 80;
    static constexpr std::uint32_t LocalFileError = 5;  // the local file cannot be opened
    // Other libcurl failures come out as CurlCodeBase + their CURLcode.
    static constexpr std::uint32_t CurlCodeBase = 13000;

    // Open handles of every kind; for tests that look for leaks.
    std::size_t openHandles() const { return objects_.size(); }

    struct Object;
    struct Connection;
    struct Transfer;

  private:
    template <class T>
    std::shared_ptr<T> find(Handle handle) const;
    Handle add(std::shared_ptr<Object> object);
    void closeObject(Handle handle);
    std::shared_ptr<Connection> usableConnection(Handle connection);
    // Runs the connection's operation until enough() holds or it ends, yielding while it waits.
    // False when the connection or the transfer was closed meanwhile.
    bool pump(Handle connection, Transfer& transfer, const std::function<bool()>& enough);
    // A read that gives up after limitMs (0: no limit of its own).
    bool readFor(Handle handle, char* buffer, std::uint32_t count, std::uint32_t& read,
                 std::uint32_t limitMs);
    void startOperation(Connection& connection, const std::string& path);
    void finishOperation(Connection& connection);
    void fail(std::uint32_t code) { lastError_ = code; }
    std::uint32_t commandError(int curlCode) const;
    std::uint32_t dataError(int curlCode) const;

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user);
    static std::size_t onWrite(char* data, std::size_t size, std::size_t count, void* user);
    static std::size_t onRead(char* data, std::size_t size, std::size_t count, void* user);

    CurlFtpOptions options_;
    std::function<void()> yield_;
    std::map<Handle, std::shared_ptr<Object>> objects_;
    Handle nextHandle_ = 0x100;
    std::uint32_t lastError_ = 0;
    std::string lastResponse_;
    std::string replyLines_;  // lines of the reply being received
    int replyCode_ = 0;       // code of a multi-line reply being received
    int lastReplyCode_ = 0;   // of the last whole reply in the running operation
};

}  // namespace vigie::ftp
