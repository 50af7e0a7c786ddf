// Probes side by side on real threads: the answers that come in time, a port that never answers
// in time (its probe goes on alone, lets go of the port when the system finally answers, and
// leaves the next probe of that port alone), a probe whose thread starts late (its time runs from
// its own start), and the errors of probes and of starting their threads.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include "core/runtime_error.h"
#include "serial/parallel_probe.h"

namespace vigie {
namespace {

using namespace std::chrono_literals;
using R = ProbeResult;

// The system as the probes meet it: each port answers at once, or, for a held port, only once the
// test lets it go; a port opened late is counted while the probe holds it.
class System {
  public:
    std::map<int, R> answers;
    std::set<int> held;    // ports whose first probe waits until released
    std::set<int> broken;  // ports whose probe cannot be made

    ProbeFunction probe() {
        // The probes may outlive the test's call, never the shared state they use.
        return [state = state_, answers = answers, held = held, broken = broken](int port) {
            std::unique_lock<std::mutex> lock(state->mutex);
            const bool wait = held.count(port) && state->calls[port]++ == 0;
            if (wait) {
                state->waiting.insert(port);
                state->changed.notify_all();
                state->changed.wait(lock, [&] { return state->released.count(port) > 0; });
                // The port opens after all; the probe closes it again before it answers.
                ++state->openPorts;
                --state->openPorts;
                state->waiting.erase(port);
            }
            ++state->finished;
            state->changed.notify_all();
            if (broken.count(port))
                throw RuntimeError(5, "PortProbe", "Probe failed");
            const auto answer = answers.find(port);
            return answer == answers.end() ? R::NotFound : answer->second;
        };
    }

    void release(int port) {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->released.insert(port);
        state_->changed.notify_all();
    }
    // Waits until `count` probes have ended, whoever called them.
    void awaitFinished(int count) {
        std::unique_lock<std::mutex> lock(state_->mutex);
        state_->changed.wait(lock, [&] { return state_->finished >= count; });
    }
    bool waiting(int port) {
        std::lock_guard<std::mutex> lock(state_->mutex);
        return state_->waiting.count(port) > 0;
    }
    int openPorts() {
        std::lock_guard<std::mutex> lock(state_->mutex);
        return state_->openPorts;
    }

  private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        std::map<int, int> calls;
        std::set<int> waiting, released;
        int openPorts = 0;
        int finished = 0;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

TEST(ParallelProbe, GivesEveryAnswerByPort) {
    System system;
    system.answers = {{1, R::Opened}, {3, R::AccessDenied}, {15, R::OtherError}};
    // A limit no test could wait out: the call must return as soon as every answer is in.
    const auto answers = probeSideBySide(system.probe(), {1, 2, 3, 15}, 24h);
    const std::map<int, R> expected{
        {1, R::Opened}, {2, R::NotFound}, {3, R::AccessDenied}, {15, R::OtherError}};
    EXPECT_EQ(answers, expected);
    EXPECT_TRUE(probeSideBySide(system.probe(), {}, 24h).empty());
}

TEST(ParallelProbe, LeavesOutAPortThatDoesNotAnswerInTime) {
    System system;
    system.answers = {{1, R::Opened}, {2, R::Opened}, {3, R::AccessDenied}};
    system.held = {2};

    // Port 2 answers only once the test lets it go, after this call: waiting for it would never
    // end.
    const auto answers = probeSideBySide(system.probe(), {1, 2, 3}, 200ms);
    EXPECT_EQ(answers, (std::map<int, R>{{1, R::Opened}, {3, R::AccessDenied}}));
    EXPECT_TRUE(system.waiting(2));

    // The next probe of that port gets its own answer while the first still waits.
    EXPECT_EQ(probeSideBySide(system.probe(), {2}, 24h), (std::map<int, R>{{2, R::Opened}}));
    EXPECT_TRUE(system.waiting(2));

    // The port answers at last: the probe left behind opens it and lets go of it.
    system.release(2);
    system.awaitFinished(4);
    EXPECT_FALSE(system.waiting(2));
    EXPECT_EQ(system.openPorts(), 0);
}

// Starts each probe's thread at once, except the nth, which is handed to `late`.
ThreadStarter startingLate(int nth, std::function<void(std::function<void()>)> late) {
    auto count = std::make_shared<int>(0);
    return [count, nth, late](std::function<void()> work) {
        if (++*count == nth)
            late(std::move(work));
        else
            std::thread(std::move(work)).detach();
    };
}

TEST(ParallelProbe, APortsTimeRunsFromItsOwnStart) {
    System system;
    system.answers = {{1, R::Opened}, {2, R::Opened}, {3, R::AccessDenied}};
    // A busy machine starts the second probe's thread long after the limit has passed since the
    // call; the probe then answers at once, and its port is not lost.
    const ThreadStarter late = startingLate(2, [](std::function<void()> work) {
        std::thread([work] {
            std::this_thread::sleep_for(500ms);
            work();
        }).detach();
    });
    EXPECT_EQ(probeSideBySide(system.probe(), {1, 2, 3}, 200ms, late),
              (std::map<int, R>{{1, R::Opened}, {2, R::Opened}, {3, R::AccessDenied}}));
}

TEST(ParallelProbe, GivesUpOnAProbeThatNeverStarts) {
    System system;
    system.answers = {{1, R::Opened}, {2, R::Opened}};
    // The thread is never run: the wait still ends, kProbeStartLimits limits after the call.
    const ThreadStarter never = startingLate(2, [](std::function<void()>) {});
    EXPECT_EQ(probeSideBySide(system.probe(), {1, 2}, 20ms, never),
              (std::map<int, R>{{1, R::Opened}}));
}

TEST(ParallelProbe, AThreadThatCannotStartIsAnError) {
    System system;
    system.answers = {{1, R::Opened}, {2, R::Opened}};
    const ThreadStarter refused = startingLate(2, [](std::function<void()>) {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    });
    EXPECT_THROW(probeSideBySide(system.probe(), {1, 2}, 24h, refused), RuntimeError);
    system.awaitFinished(1);
}

TEST(ParallelProbe, RaisesTheErrorOfAProbeThatAnsweredInTime) {
    System system;
    system.answers = {{1, R::Opened}};
    system.broken = {7};
    EXPECT_THROW(probeSideBySide(system.probe(), {1, 7}, 24h), RuntimeError);

    // A probe that fails after the limit is one that did not answer.
    System late;
    late.answers = {{1, R::Opened}};
    late.held = {7};
    late.broken = {7};
    EXPECT_EQ(probeSideBySide(late.probe(), {1, 7}, 100ms), (std::map<int, R>{{1, R::Opened}}));
    late.release(7);
    late.awaitFinished(2);
}

}  // namespace
}  // namespace vigie
