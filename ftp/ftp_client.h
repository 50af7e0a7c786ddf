#pragma once
// The program's FTP client: one session, one connection and at most one remote file open for
// transfer, over an FtpLayer. It shows nothing: failures return False (or a negative size) and
// leave their text in GetLastErrorMessage.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ftp/ftp_layer.h"

namespace vigie {

class FtpClient {
  public:
    // yield lets the window's event queue run; it is called inside connects and transfers.
    FtpClient(std::unique_ptr<ftp::FtpLayer> layer, std::function<void()> yield);
    ~FtpClient();
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    // Event FileTransferProgress(currentBytes, totalBytes, download), raised synchronously.
    std::function<void(std::int32_t, std::int32_t, bool)> FileTransferProgress;

    const std::string& GetLastErrorMessage() const { return sLastError; }
    // The code of the last failure (12014: the server refused the login).
    std::int32_t lastErrorCode() const { return lastErrorCode_; }
    bool OpenConnection(const std::string& sServer, const std::string& sUser,
                        const std::string& sPassword);
    void CloseConnection();
    bool SimpleFTPPutFile(std::string& sLocal, std::string& sRemote);
    bool FTPUploadFile(std::string& sLocal, std::string& sRemote);
    bool FTPDownloadFile(std::string& sLocal, std::string& sRemote);
    bool SimpleFTPGetFile(std::string& sLocal, std::string& sRemote);
    std::int32_t GetFTPFileSize(const std::string& sFile);
    void SetModeActive();
    void SetModePassive();

    ftp::FtpLayer& layer() { return *layer_; }

  private:
    void SetLastErrorMessage(std::int32_t lErrorCode, const std::string& sFunction);

    std::unique_ptr<ftp::FtpLayer> layer_;
    std::function<void()> yield_;
    ftp::Handle hSession = 0;
    ftp::Handle hConnection = 0;
    ftp::Handle hTransfer = 0;
    std::int32_t lPassiveFlag = 0;
    std::string sLastError;
    std::int32_t lastErrorCode_ = 0;
};

}  // namespace vigie
