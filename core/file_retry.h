#pragma once
// A file that another program holds open for a moment: an antivirus scans each new file, and the
// search indexer and OneDrive open files as well. An operation on it that fails for a sharing
// violation is tried again for a while before its failure counts.

#include <cstdint>
#include <functional>

#include "core/platform.h"
#include "core/runtime_error.h"

namespace vigie {

// The longest wait, from the first failure, and the pause between two attempts.
constexpr std::int64_t SharedFileWaitMs = 2000;
constexpr std::int64_t SharedFileRetryMs = 50;

// Whether the error says that another program has the file open in a way that forbids this use,
// for now: the system's sharing or lock violation (Windows' ERROR_SHARING_VIOLATION and
// ERROR_LOCK_VIOLATION, as the file calls put them in LastDllError), a deletion still pending
// (ERROR_ACCESS_DENIED, until the last handle of a file being deleted closes) or a file that
// another program has mapped (ERROR_USER_MAPPED_FILE). A scanner's verdict
// (ERROR_VIRUS_INFECTED) is final and never one of them.
bool isSharingViolation(const RuntimeError& error);

struct FileRetryResult {
    bool stopped = false;       // stopped() said so after a pause: nothing was done
    std::int64_t waitedMs = 0;  // how long the file was held, 0 when the first attempt went
};

// Runs attempt. While it raises a sharing violation, pauses SharedFileRetryMs (through the
// platform, so that the window's events run) and tries again, until SharedFileWaitMs have passed
// since the first failure: then that failure goes to the caller. Any other error goes to the
// caller at once. After each pause, stopped() true ends the retries without a further attempt.
FileRetryResult retryWhileFileShared(Platform& platform, const std::function<void()>& attempt,
                                     const std::function<bool()>& stopped);

}  // namespace vigie
