#include "ftp/ftp_client.h"

#include <cstdio>
#include <fstream>
#include <limits>
#include <memory>
#include <vector>

#include "core/file_path.h"
#include "core/runtime_error.h"
#include "ftp/login_text.h"

namespace vigie {
namespace {

constexpr std::int32_t kBlock = 1024;
constexpr std::int32_t kDiskFull = 61;
constexpr std::size_t kMessageLimit = 256;
constexpr std::size_t kReplyLimit = 2048;
constexpr std::size_t kFileBuffer = 64 * 1024;
constexpr std::uint32_t kEndOfTransferWaitMs = 10'000;
constexpr const char* kAgent = "Halvorn Devices";

void trimSpaces(std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        text.clear();
        return;
    }
    text.erase(text.find_last_not_of(' ') + 1);
    text.erase(0, first);
}

struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using LocalFile = std::unique_ptr<std::FILE, CloseFile>;

[[noreturn]] void fileError(std::int32_t number, const char* description) {
    throw RuntimeError(number, "cFTP", description);
}

}  // namespace

FtpClient::FtpClient(std::unique_ptr<ftp::FtpLayer> layer, std::function<void()> yield)
    : layer_(std::move(layer)), yield_(std::move(yield)) {
    // The layer yields as well while it waits for the network.
    if (layer_)
        layer_->setYield([this] {
            if (yield_)
                yield_();
        });
}

// Handles stay open on purpose: the owner closes them through CloseConnection.
FtpClient::~FtpClient() = default;

bool FtpClient::OpenConnection(const std::string& sServer, const std::string& sUser,
                               const std::string& sPassword) {
    SetModePassive();
    if (hConnection != 0) {
        layer_->internetCloseHandle(hConnection);
        hConnection = 0;
    }
    if (yield_)
        yield_();
    // The layer has no test of its own for being online: the machine counts as online.
    hSession = layer_->internetOpen(kAgent);
    if (hSession == 0)
        SetLastErrorMessage(static_cast<std::int32_t>(layer_->lastError()), "InternetOpen");
    if (yield_)
        yield_();
    // Never sent: to the window this is a login the server refused, which it is in effect.
    if (!ftp::isSendableLogin(sUser, sPassword)) {
        SetLastErrorMessage(static_cast<std::int32_t>(ftp::code::IncorrectPassword),
                            "InternetConnect");
        return false;
    }
    hConnection =
        layer_->internetConnect(hSession, sServer, 0, sUser, sPassword, lPassiveFlag != 0);
    if (hConnection != 0) {
        if (yield_)
            yield_();
        return true;
    }
    SetLastErrorMessage(static_cast<std::int32_t>(layer_->lastError()), "InternetConnect");
    return false;
}

void FtpClient::CloseConnection() {
    if (hConnection != 0)
        layer_->internetCloseHandle(hConnection);
    hConnection = 0;
    // Closing the connection released the remote file open under it.
    hTransfer = 0;
    if (hSession != 0)
        layer_->internetCloseHandle(hSession);
    hSession = 0;
}

bool FtpClient::FTPDownloadFile(std::string& sLocal, std::string& sRemote) {
    trimSpaces(sLocal);
    trimSpaces(sRemote);
    if (sLocal.empty() || sRemote.empty())
        return false;

    const std::int32_t total = GetFTPFileSize(sRemote);
    if (total <= 0)
        return false;

    hTransfer = layer_->ftpOpenFile(hConnection, sRemote, ftp::Access::Read);
    if (hTransfer == 0) {
        SetLastErrorMessage(static_cast<std::int32_t>(layer_->lastError()), "FtpOpenFile:GetFile");
        return false;
    }
    if (yield_)
        yield_();

    // Emptied first: the file must end up holding exactly the downloaded bytes. A buffer of
    // many blocks keeps the 1 KiB writes from costing a system call each.
    LocalFile local(openFile(sLocal, "wb"));
    if (!local)
        fileError(err::PathFileAccess, "Path/File access error");
    std::setvbuf(local.get(), nullptr, _IOFBF, kFileBuffer);

    // A failed block ends the transfer: closing it leaves the connection free for a new attempt.
    const auto failRead = [&](std::int32_t code, const char* label) {
        SetLastErrorMessage(code, label);
        local.reset();
        if (hTransfer != 0)
            layer_->internetCloseHandle(hTransfer);
        hTransfer = 0;
        return false;
    };
    const auto readBlock = [&](char* buffer, std::int32_t count, const char* label) {
        std::uint32_t read = 0;
        if (!layer_->internetReadFile(hTransfer, buffer, static_cast<std::uint32_t>(count), read))
            return failRead(static_cast<std::int32_t>(layer_->lastError()), label);
        // The server's file ended before the listed size: its end is missing.
        if (read != static_cast<std::uint32_t>(count))
            return failRead(static_cast<std::int32_t>(ftp::code::ConnectionAborted), label);
        return true;
    };
    const auto writeBlock = [&](const char* buffer, std::int32_t count) {
        if (std::fwrite(buffer, 1, static_cast<std::size_t>(count), local.get()) !=
            static_cast<std::size_t>(count))
            fileError(kDiskFull, "Disk full");
    };

    std::int64_t running = 1;
    std::vector<char> block(kBlock);
    for (std::int32_t i = 0; i < total / kBlock; ++i) {
        if (!readBlock(block.data(), kBlock, "InternetReadFile"))
            return false;
        writeBlock(block.data(), kBlock);
        if (yield_)
            yield_();
        running += kBlock;
        if (running > std::numeric_limits<std::int32_t>::max())
            fileError(err::Overflow, "Overflow");
        if (FileTransferProgress)
            FileTransferProgress(static_cast<std::int32_t>(running), total, true);
    }
    const std::int32_t remainder = total % kBlock;
    if (remainder != 0) {
        std::vector<char> last(static_cast<std::size_t>(remainder));
        if (!readBlock(last.data(), remainder, "InternetReadFile2"))
            return false;
        writeBlock(last.data(), remainder);
        // Every byte has arrived: the bar says so while the server confirms the transfer.
        if (FileTransferProgress)
            FileTransferProgress(total, total, true);
    }
    // The transfer must end here, cleanly: more bytes mean the file changed after it was
    // listed, and an error at the end means the server did not confirm the transfer. A server
    // that holds the data connection open after the last byte (a bandwidth limit does) is not
    // waited for long: the listed size has arrived, byte for byte, and closing the transfer ends
    // it.
    char extra = 0;
    std::uint32_t more = 0;
    if (!layer_->internetReadFileWithin(hTransfer, &extra, 1, more, kEndOfTransferWaitMs)) {
        if (layer_->lastError() != ftp::code::Timeout)
            return failRead(static_cast<std::int32_t>(layer_->lastError()), "InternetReadFile2");
        more = 0;
    }
    if (more != 0)
        return failRead(static_cast<std::int32_t>(ftp::code::ConnectionAborted),
                        "InternetReadFile2");

    if (std::fclose(local.release()) != 0)
        fileError(kDiskFull, "Disk full");
    if (yield_)
        yield_();
    if (FileTransferProgress && remainder == 0)
        FileTransferProgress(total, total, true);
    layer_->internetCloseHandle(hTransfer);
    hTransfer = 0;
    return true;
}

bool FtpClient::FTPUploadFile(std::string& sLocal, std::string& sRemote) {
    trimSpaces(sLocal);
    trimSpaces(sRemote);
    if (sLocal.empty() || sRemote.empty())
        return false;

    hTransfer = layer_->ftpOpenFile(hConnection, sRemote, ftp::Access::Write);
    if (hTransfer == 0) {
        SetLastErrorMessage(static_cast<std::int32_t>(layer_->lastError()), "FtpOpenFile:PutFile");
        return false;
    }
    if (yield_)
        yield_();

    std::ifstream local(filePath(sLocal), std::ios::binary | std::ios::ate);
    if (!local)
        fileError(err::FileNotFound, "File not found");
    const std::streamoff length = local.tellg();
    if (length > std::numeric_limits<std::int32_t>::max())
        fileError(err::Overflow, "Overflow");
    const auto total = static_cast<std::int32_t>(length);
    local.seekg(0);

    std::vector<char> block(kBlock);
    const auto sendBlock = [&](std::int32_t count, const char* label) {
        local.read(block.data(), count);
        if (!local)
            fileError(err::PathFileAccess, "Path/File access error");
        std::uint32_t written = 0;
        if (!layer_->internetWriteFile(hTransfer, block.data(), static_cast<std::uint32_t>(count),
                                       written)) {
            SetLastErrorMessage(static_cast<std::int32_t>(layer_->lastError()), label);
            return false;
        }
        return true;
    };

    std::int32_t running = 0;
    for (std::int32_t i = 0; i < total / kBlock; ++i) {
        if (!sendBlock(kBlock, "InternetWriteFile"))
            return false;
        if (yield_)
            yield_();
        running += kBlock;
        if (FileTransferProgress)
            FileTransferProgress(running, total, false);
    }
    const std::int32_t remainder = total % kBlock;
    if (remainder != 0 && !sendBlock(remainder, "InternetWriteFile2"))
        return false;
    if (yield_)
        yield_();
    local.close();
    // The server confirms the upload only when the remote file is closed: a refusal there is a
    // failed upload, not a success.
    if (!layer_->internetCloseHandle(hTransfer)) {
        hTransfer = 0;
        SetLastErrorMessage(static_cast<std::int32_t>(layer_->lastError()), "InternetWriteFile2");
        return false;
    }
    hTransfer = 0;
    if (FileTransferProgress)
        FileTransferProgress(total, total, false);
    return true;
}

bool FtpClient::SimpleFTPGetFile(std::string& sLocal, std::string& sRemote) {
    if (layer_->ftpGetFile(hConnection, sRemote, sLocal, false))
        return true;
    SetLastErrorMessage(static_cast<std::int32_t>(layer_->lastError()), "SimpleFtpGetFile");
    return false;
}

bool FtpClient::SimpleFTPPutFile(std::string& sLocal, std::string& sRemote) {
    if (layer_->ftpPutFile(hConnection, sLocal, sRemote))
        return true;
    SetLastErrorMessage(static_cast<std::int32_t>(layer_->lastError()), "SimpleFtpPutFile");
    return false;
}

std::int32_t FtpClient::GetFTPFileSize(const std::string& sFile) {
    std::string pattern = sFile;
    for (char& c : pattern)
        if (c == ' ')
            c = '?';
    ftp::FindData data;
    const ftp::Handle search = layer_->ftpFindFirstFile(hConnection, pattern, data);
    const std::uint32_t error = layer_->lastError();
    if (search != 0) {
        const auto size = static_cast<std::int32_t>(data.fileSizeLow);
        layer_->internetCloseHandle(search);
        return size;
    }
    if (error == ftp::code::NoMoreFiles)
        return -1;
    SetLastErrorMessage(static_cast<std::int32_t>(error), "FtpFindFirstFile");
    return -2;
}

void FtpClient::SetModeActive() {
    lPassiveFlag = 0;
}

void FtpClient::SetModePassive() {
    lPassiveFlag = 0x08000000;
}

void FtpClient::SetLastErrorMessage(std::int32_t lErrorCode, const std::string& sFunction) {
    lastErrorCode_ = lErrorCode;
    std::string message = layer_->formatMessage(static_cast<std::uint32_t>(lErrorCode));
    if (message.size() > kMessageLimit)
        message.resize(kMessageLimit);
    sLastError = sFunction + " error code: " + std::to_string(lErrorCode) + " Message: " + message;
    if (static_cast<std::uint32_t>(lErrorCode) == ftp::code::ExtendedError) {
        std::string reply = layer_->lastResponseInfo();
        if (reply.size() > kReplyLimit)
            reply.resize(kReplyLimit);
        sLastError = reply;
    }
}

}  // namespace vigie
