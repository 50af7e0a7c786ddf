// Background threads: each work runs once on a thread of its own and is freed by it when done,
// many started back to back with nobody joining them (the port list starts one per port at once,
// and on Windows that is where detached threads once crashed the program at start-up).

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "core/background_thread.h"

namespace vigie {
namespace {

struct Record {
    std::mutex mutex;
    std::condition_variable changed;
    std::multiset<int> ran;
    std::set<std::thread::id> threads;
};

TEST(BackgroundThread, RunsEachWorkOnceOnAThreadOfItsOwnAndFreesIt) {
    constexpr int kWorks = 200;
    auto record = std::make_shared<Record>();
    // Held by every work: once all are freed, the test holds the last reference.
    auto captured = std::make_shared<int>(0);
    for (int i = 0; i < kWorks; ++i)
        startBackgroundThread([record, captured, i] {
            std::lock_guard<std::mutex> lock(record->mutex);
            record->ran.insert(i);
            record->threads.insert(std::this_thread::get_id());
            record->changed.notify_all();
        });

    std::unique_lock<std::mutex> lock(record->mutex);
    record->changed.wait(lock, [&] { return record->ran.size() >= kWorks; });
    for (int i = 0; i < kWorks; ++i)
        EXPECT_EQ(record->ran.count(i), 1u) << i;
    EXPECT_EQ(record->threads.count(std::this_thread::get_id()), 0u);
    lock.unlock();

    // A work is freed just after it returns, on its own thread: wait for the last of them.
    const std::weak_ptr<int> watch = captured;
    captured.reset();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!watch.expired() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(watch.expired()) << "a finished work was never freed";
}

}  // namespace
}  // namespace vigie
