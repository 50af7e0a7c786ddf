#pragma once
// The internet library under FtpClient: sessions, connections, remote files and searches as
// handles, with a last-error code per call. The real layers are libcurl on Linux
// (ftp/curl_ftp_layer) and WinINet on Windows (ftp/wininet_ftp_layer); the session's unit tests use
// an in-memory server.

#include <cstdint>
#include <functional>
#include <string>

namespace vigie::ftp {

using Handle = std::uintptr_t;  // 0: no handle

// Error codes the class relies on.
namespace code {
constexpr std::uint32_t NoMoreFiles = 18;            // nothing matched a search
constexpr std::uint32_t Timeout = 12002;             // the server stopped answering
constexpr std::uint32_t ExtendedError = 12003;       // the server answered with an error reply
constexpr std::uint32_t InvalidUrl = 12005;          // bad host name or file name text
constexpr std::uint32_t NameNotResolved = 12007;     // host unknown
constexpr std::uint32_t IncorrectPassword = 12014;   // login refused
constexpr std::uint32_t OperationCancelled = 12017;  // handle closed under a running call
constexpr std::uint32_t CannotConnect = 12029;       // connection refused or unreachable
constexpr std::uint32_t ConnectionAborted = 12030;   // connection dropped
constexpr std::uint32_t InvalidHandle = 6;
}  // namespace code

enum class Access { Read, Write };

struct FindData {
    std::string fileName;
    std::uint32_t fileSizeLow = 0;
    std::uint32_t fileSizeHigh = 0;
};

class FtpLayer {
  public:
    virtual ~FtpLayer() = default;

    // Called while a call waits for the network, so the window stays responsive.
    virtual void setYield(std::function<void()> yield) = 0;

    virtual Handle internetOpen(const std::string& agent) = 0;
    // server is "host" or "host:port"; port 0 means the FTP default. The login is checked here.
    virtual Handle internetConnect(Handle session, const std::string& server, int port,
                                   const std::string& user, const std::string& password,
                                   bool passive) = 0;
    // Searches the connection's current directory; pattern may hold '*' and '?'.
    virtual Handle ftpFindFirstFile(Handle connection, const std::string& pattern,
                                    FindData& data) = 0;
    // Always a binary transfer.
    virtual Handle ftpOpenFile(Handle connection, const std::string& remote, Access access) = 0;
    // Delivers exactly count bytes unless the file ends first.
    virtual bool internetReadFile(Handle transfer, char* buffer, std::uint32_t count,
                                  std::uint32_t& read) = 0;
    // The same read, given up after limitMs with code::Timeout; the transfer stays open for the
    // caller to close. A layer without a clock of its own waits as long as a plain read does.
    virtual bool internetReadFileWithin(Handle transfer, char* buffer, std::uint32_t count,
                                        std::uint32_t& read, std::uint32_t limitMs) {
        (void)limitMs;
        return internetReadFile(transfer, buffer, count, read);
    }
    virtual bool internetWriteFile(Handle transfer, const char* buffer, std::uint32_t count,
                                   std::uint32_t& written) = 0;
    virtual bool ftpGetFile(Handle connection, const std::string& remote, const std::string& local,
                            bool failIfExists) = 0;
    virtual bool ftpPutFile(Handle connection, const std::string& local,
                            const std::string& remote) = 0;
    // Closing a connection also releases the handles opened under it.
    virtual bool internetCloseHandle(Handle handle) = 0;

    // The error code of the last failed call on this thread.
    virtual std::uint32_t lastError() const = 0;
    // A text for a code; "" when the layer has none.
    virtual std::string formatMessage(std::uint32_t code) const = 0;
    // The server's last reply text.
    virtual std::string lastResponseInfo() const = 0;
};

}  // namespace vigie::ftp
