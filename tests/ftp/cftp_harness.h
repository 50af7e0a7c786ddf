#pragma once
// A FtpClient with its events and yields recorded.

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

#include "ftp/ftp_client.h"
#ifndef _WIN32
#include "ftp/curl_ftp_layer.h"
#endif

namespace vigie::test {

struct Progress {
    std::int32_t current;
    std::int32_t total;
    bool download;
    bool operator==(const Progress&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Progress& p) {
    return os << "(" << p.current << ", " << p.total << ", " << (p.download ? "True" : "False")
              << ")";
}

#ifndef _WIN32
// Timeouts short enough for tests that wait on a silent server.
inline ftp::CurlFtpOptions fastOptions() {
    ftp::CurlFtpOptions options;
    options.connectTimeoutMs = 2000;
    options.responseTimeoutSec = 2;
    options.lowSpeedTimeSec = 1;
    return options;
}
#endif

// The events a download of n bytes raises: 1 + 1024 k after the k-th full block, then n.
inline std::vector<Progress> downloadEvents(std::int32_t n) {
    std::vector<Progress> events;
    for (std::int32_t k = 1; k <= n / 1024; ++k)
        events.push_back({1 + 1024 * k, n, true});
    events.push_back({n, n, true});
    return events;
}

class Harness {
  public:
#ifndef _WIN32
    explicit Harness(ftp::CurlFtpOptions options = fastOptions())
        : Harness(std::make_unique<ftp::CurlFtpLayer>(options)) {}
#endif
    explicit Harness(std::unique_ptr<ftp::FtpLayer> layer) {
        layer_ = layer.get();
        ftp = std::make_unique<FtpClient>(std::move(layer), [this] {
            ++yields;
            if (onYield)
                onYield();
        });
        ftp->FileTransferProgress = [this](std::int32_t current, std::int32_t total, bool down) {
            events.push_back({current, total, down});
        };
    }

#ifndef _WIN32
    ftp::CurlFtpLayer& curl() {
        return dynamic_cast<ftp::CurlFtpLayer&>(*layer_);
    }
#endif
    ftp::FtpLayer& layer() {
        return *layer_;
    }

    std::unique_ptr<FtpClient> ftp;
    std::vector<Progress> events;
    int yields = 0;
    std::function<void()> onYield;

  private:
    ftp::FtpLayer* layer_ = nullptr;
};

}  // namespace vigie::test
