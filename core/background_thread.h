#pragma once
// Work that runs on a thread of its own which nobody joins: a port probe the window gave up on, a
// blocking WinINet call. The thread owns the work and frees it when the work returns.

#include <functional>

namespace vigie {

// Starts `work` on a new thread. Raises std::system_error when no thread could be started; the
// work has not run then. The work must not throw.
void startBackgroundThread(std::function<void()> work);

}  // namespace vigie
