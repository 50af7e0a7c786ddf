// Downloads one file through FtpClient as the window does: 1 KiB blocks, a yield and a progress
// event after each. Usage: ftp_bench SERVER USER PASSWORD REMOTE LOCAL Prints "blocks=<events>
// yields=<n> seconds=<download time>"; exits 1 when the download fails.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "ftp/curl_ftp_layer.h"
#include "ftp/ftp_client.h"

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s SERVER USER PASSWORD REMOTE LOCAL\n", argv[0]);
        return 2;
    }
    std::int64_t yields = 0;
    std::int64_t events = 0;
    std::int64_t lastEvent = 0;
    // An idle event queue: the yield returns at once.
    vigie::FtpClient ftp(std::make_unique<vigie::ftp::CurlFtpLayer>(), [&] { ++yields; });
    ftp.FileTransferProgress = [&](std::int32_t current, std::int32_t, bool) {
        ++events;
        lastEvent = current;
    };
    const auto start = std::chrono::steady_clock::now();
    if (!ftp.OpenConnection(argv[1], argv[2], argv[3])) {
        std::fprintf(stderr, "connect: %s\n", ftp.GetLastErrorMessage().c_str());
        return 1;
    }
    std::string local = argv[5];
    std::string remote = argv[4];
    const bool ok = ftp.FTPDownloadFile(local, remote);
    ftp.CloseConnection();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok) {
        std::fprintf(stderr, "download: %s\n", ftp.GetLastErrorMessage().c_str());
        return 1;
    }
    std::printf("blocks=%lld yields=%lld last=%lld seconds=%.4f\n", static_cast<long long>(events),
                static_cast<long long>(yields), static_cast<long long>(lastEvent), seconds);
    return 0;
}
