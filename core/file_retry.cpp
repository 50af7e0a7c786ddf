#include "core/file_retry.h"

namespace vigie {
namespace {

// Windows' codes; the file calls set LastDllError from them on Windows only.
constexpr std::int32_t SharingViolation = 32;
constexpr std::int32_t LockViolation = 33;
constexpr std::int32_t AccessDenied = 5;
constexpr std::int32_t UserMappedFile = 1224;

}  // namespace

bool isSharingViolation(const RuntimeError& error) {
    switch (error.LastDllError) {
        case SharingViolation:
        case LockViolation:
        case AccessDenied:
        case UserMappedFile:
            return true;
        default:
            return false;
    }
}

FileRetryResult retryWhileFileShared(Platform& platform, const std::function<void()>& attempt,
                                     const std::function<bool()>& stopped) {
    FileRetryResult result;
    std::int64_t firstFailure = -1;
    for (;;) {
        try {
            attempt();
            return result;
        } catch (const RuntimeError& e) {
            if (!isSharingViolation(e))
                throw;
            const std::int64_t now = platform.tickCount();
            if (firstFailure < 0)
                firstFailure = now;
            result.waitedMs = now - firstFailure;
            if (result.waitedMs >= SharedFileWaitMs)
                throw;
        }
        platform.waitUntil(platform.tickCount() + SharedFileRetryMs);
        result.waitedMs = platform.tickCount() - firstFailure;
        if (stopped()) {
            result.stopped = true;
            return result;
        }
    }
}

}  // namespace vigie
