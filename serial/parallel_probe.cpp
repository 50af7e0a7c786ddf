#include "serial/parallel_probe.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>

#include "core/background_thread.h"
#include "core/runtime_error.h"

namespace vigie {
namespace {

using Clock = std::chrono::steady_clock;

// Shared by the caller and every probe's thread; the last one out frees it.
struct Answers {
    std::mutex mutex;
    std::condition_variable changed;
    std::map<int, ProbeResult> results;
    std::map<int, Clock::time_point> started;  // probes under way, by port
    std::exception_ptr failure;
    std::size_t pending = 0;
};

// When the caller may stop waiting for the ports still pending: once each has run for the limit
// since its own start, or, for one that has not started, once the start limit has passed.
Clock::time_point waitEnd(const Answers& answers, const std::vector<int>& ports,
                          std::chrono::milliseconds limit, Clock::time_point startLimit) {
    Clock::time_point end = Clock::time_point::min();
    for (int port : ports) {
        if (answers.results.count(port))
            continue;
        const auto started = answers.started.find(port);
        end =
            std::max(end, started == answers.started.end() ? startLimit : started->second + limit);
    }
    return end;
}

}  // namespace

std::map<int, ProbeResult> probeSideBySide(const ProbeFunction& probe,
                                           const std::vector<int>& ports,
                                           std::chrono::milliseconds limit) {
    return probeSideBySide(probe, ports, limit, startBackgroundThread);
}

std::map<int, ProbeResult> probeSideBySide(const ProbeFunction& probe,
                                           const std::vector<int>& ports,
                                           std::chrono::milliseconds limit,
                                           const ThreadStarter& start) {
    auto answers = std::make_shared<Answers>();
    answers->pending = ports.size();
    const Clock::time_point startLimit = Clock::now() + limit * kProbeStartLimits;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const int port = ports[i];
        try {
            start([answers, probe, port] {
                {
                    std::lock_guard<std::mutex> lock(answers->mutex);
                    answers->started[port] = Clock::now();
                    answers->changed.notify_all();
                }
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
                --answers->pending;
                answers->changed.notify_all();
            });
        } catch (const std::system_error& e) {
            // The probes already under way finish on their own; nobody waits for the others.
            std::lock_guard<std::mutex> lock(answers->mutex);
            answers->pending -= ports.size() - i;
            throw RuntimeError(err::Internal, "PortProbe", e.what());
        }
    }
    std::unique_lock<std::mutex> lock(answers->mutex);
    while (answers->pending > 0 && !answers->failure) {
        const Clock::time_point end = waitEnd(*answers, ports, limit, startLimit);
        if (Clock::now() >= end)
            break;
        answers->changed.wait_until(lock, end);
    }
    if (answers->failure)
        std::rethrow_exception(answers->failure);
    return answers->results;
}

}  // namespace vigie
