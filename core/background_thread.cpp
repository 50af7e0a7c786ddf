#include "core/background_thread.h"

#include <cstdint>
#include <memory>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
// windows.h first: process.h needs its types.
#include <process.h>

#include <cerrno>
#else
#include <thread>
#endif

namespace vigie {

#ifdef _WIN32

namespace {

unsigned __stdcall runWork(void* context) {
    const std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(context));
    (*work)();
    return 0;
}

}  // namespace

// Not std::thread: the threads library under it recycles a thread's record when a thread that
// has already ended is detached, while that thread's own exit may still be using the record; the
// next thread started then finds its argument cleared and the program crashes (seen under load,
// with a probe per port started at once). The C runtime's own thread start gives the thread its
// work directly, and the handle is let go at once, so no record is shared with anyone.
void startBackgroundThread(std::function<void()> work) {
    auto owned = std::make_unique<std::function<void()>>(std::move(work));
    const std::uintptr_t thread = ::_beginthreadex(nullptr, 0, &runWork, owned.get(), 0, nullptr);
    if (thread == 0)
        throw std::system_error(errno, std::generic_category(), "_beginthreadex");
    owned.release();  // the thread frees it
    ::CloseHandle(reinterpret_cast<HANDLE>(thread));
}

#else

void startBackgroundThread(std::function<void()> work) {
    std::thread(std::move(work)).detach();
}

#endif

}  // namespace vigie
