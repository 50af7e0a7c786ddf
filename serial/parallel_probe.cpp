#include "serial/parallel_probe.h"

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "core/runtime_error.h"

namespace vigie {
namespace {

// Shared by the caller and every probe's thread; the last one out frees it.
struct Answers {
    std::mutex mutex;
    std::condition_variable allIn;
    std::map<int, ProbeResult> results;
    std::exception_ptr failure;
    std::size_t pending = 0;
};

}  // namespace

std::map<int, ProbeResult> probeSideBySide(const ProbeFunction& probe,
                                           const std::vector<int>& ports,
                                           std::chrono::milliseconds limit) {
    auto answers = std::make_shared<Answers>();
    answers->pending = ports.size();
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const int port = ports[i];
        try {
            std::thread([answers, probe, port] {
                ProbeResult result = ProbeResult::OtherError;
                std::exception_ptr failure;
                try {
                    result = probe(port);
                } catch (...) {
                    failure = std::current_exception();
                }
                std::lock_guard<std::mutex> lock(answers->mutex);
                if (failure && !answers->failure)
                    answers->failure = failure;
                else if (!failure)
                    answers->results[port] = result;
                if (--answers->pending == 0)
                    answers->allIn.notify_all();
            }).detach();
        } catch (const std::system_error& e) {
            // The probes already under way finish on their own; nobody waits for the others.
            std::lock_guard<std::mutex> lock(answers->mutex);
            answers->pending -= ports.size() - i;
            throw RuntimeError(err::Internal, "PortProbe", e.what());
        }
    }
    std::unique_lock<std::mutex> lock(answers->mutex);
    answers->allIn.wait_for(lock, limit, [&] { return answers->pending == 0; });
    if (answers->failure)
        std::rethrow_exception(answers->failure);
    return answers->results;
}

}  // namespace vigie
