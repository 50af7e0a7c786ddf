// Operations on a file that another program holds for a moment, tried again in virtual time.

#include "core/file_retry.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/virtual_platform.h"

namespace vigie {
namespace {

constexpr std::int32_t kSharingViolation = 32;
constexpr std::int32_t kLockViolation = 33;
constexpr std::int32_t kAccessDenied = 5;
constexpr std::int32_t kUserMappedFile = 1224;
constexpr std::int32_t kVirusInfected = 225;
constexpr std::int32_t kFileNotFound = 2;

// What a file held by another program gives: a sharing or lock violation, a deletion still
// pending (access denied until the scanner's handle closes), a mapping of the file.
constexpr std::int32_t kHeldErrors[] = {kSharingViolation, kLockViolation, kAccessDenied,
                                        kUserMappedFile};
// Final answers: a scanner's verdict, a file that is not there, no system code at all.
constexpr std::int32_t kFinalErrors[] = {kVirusInfected, kFileNotFound, 0};

// Virtual time from 0, so that the moments read as milliseconds since the first attempt.
struct ZeroPlatform : test::VirtualPlatform {
    ZeroPlatform() { setNow(0); }
};

// An operation that fails with that system error until the file is let go at releaseAt.
struct HeldFile {
    HeldFile(test::VirtualPlatform& p, std::int64_t release, std::int32_t e = kSharingViolation)
        : platform(p), releaseAt(release), error(e) {}

    test::VirtualPlatform& platform;
    std::int64_t releaseAt;
    std::int32_t error;
    std::vector<std::int64_t> attempts;

    void operator()() {
        attempts.push_back(platform.tick());
        if (platform.tick() < releaseAt)
            throw RuntimeError(err::PathFileAccess, "DataFiles", "Path/File access error", error);
    }
};

TEST(FileRetryTest, AFileLetGoWithinTwoSecondsIsUsedOnceItIsFree) {
    for (const std::int32_t error : kHeldErrors) {
        SCOPED_TRACE(error);
        test::VirtualPlatform platform;
        platform.setNow(1000);
        HeldFile file(platform, 1500, error);
        const FileRetryResult result =
            retryWhileFileShared(platform, std::ref(file), [] { return false; });
        EXPECT_FALSE(result.stopped);
        EXPECT_EQ(result.waitedMs, 500);
        // Every 50 ms, the window's events running meanwhile.
        ASSERT_EQ(file.attempts.size(), 11u);
        EXPECT_EQ(file.attempts.front(), 1000);
        EXPECT_EQ(file.attempts.back(), 1500);
        EXPECT_GE(platform.yields, 10);
    }
}

TEST(FileRetryTest, AFileFreeAtOnceIsUsedWithoutWaiting) {
    ZeroPlatform platform;
    HeldFile file{platform, 0};
    const FileRetryResult result =
        retryWhileFileShared(platform, std::ref(file), [] { return false; });
    EXPECT_EQ(result.waitedMs, 0);
    EXPECT_EQ(file.attempts, std::vector<std::int64_t>{0});
    EXPECT_EQ(platform.tick(), 0);
}

TEST(FileRetryTest, AFileHeldLongerFailsAfterTwoSecondsWithItsOwnError) {
    for (const std::int32_t error : kHeldErrors) {
        SCOPED_TRACE(error);
        ZeroPlatform platform;
        HeldFile file{platform, 1'000'000, error};
        try {
            retryWhileFileShared(platform, std::ref(file), [] { return false; });
            FAIL() << "no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Number, err::PathFileAccess);
            EXPECT_EQ(e.LastDllError, error);
        }
        EXPECT_EQ(file.attempts.back(), SharedFileWaitMs);
        EXPECT_EQ(platform.tick(), SharedFileWaitMs);
    }
    // Just short of the limit it still goes.
    ZeroPlatform second;
    HeldFile justInTime{second, SharedFileWaitMs};
    EXPECT_EQ(retryWhileFileShared(second, std::ref(justInTime), [] { return false; }).waitedMs,
              SharedFileWaitMs);
}

TEST(FileRetryTest, OtherFailuresAreNotTriedAgain) {
    for (const std::int32_t error : kFinalErrors) {
        SCOPED_TRACE(error);
        ZeroPlatform platform;
        HeldFile file{platform, 1'000'000, error};
        try {
            retryWhileFileShared(platform, std::ref(file), [] { return false; });
            FAIL() << "no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.LastDllError, error);
        }
        EXPECT_EQ(file.attempts.size(), 1u);
        EXPECT_EQ(platform.tick(), 0);
    }
}

TEST(FileRetryTest, OnlyWhatAHolderGivesCountsAsHeld) {
    for (const std::int32_t error : kHeldErrors)
        EXPECT_TRUE(isSharingViolation(RuntimeError(err::PathFileAccess, "t", "d", error)))
            << error;
    for (const std::int32_t error : kFinalErrors)
        EXPECT_FALSE(isSharingViolation(RuntimeError(err::PathFileAccess, "t", "d", error)))
            << error;
}

TEST(FileRetryTest, CloseDuringTheWaitEndsItWithoutAnotherAttempt) {
    ZeroPlatform platform;
    HeldFile file{platform, 1'000'000};
    bool stop = false;
    platform.at(120, [&] { stop = true; });
    const FileRetryResult result =
        retryWhileFileShared(platform, std::ref(file), [&] { return stop; });
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(file.attempts, (std::vector<std::int64_t>{0, 50, 100}));
    EXPECT_EQ(result.waitedMs, 150);
}

}  // namespace
}  // namespace vigie
