#include "files/OrderedPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <set>
#include <thread>

namespace vantrel {
namespace {

using namespace std::chrono_literals;

// Later files finish first; one throws and one fails: every outcome comes back in hand-out order.
TEST(OrderedPool, OutcomesInHandOutOrderWithAThrowAsThatFilesFailure) {
    std::mutex mutex;
    std::set<int> threadsSeen;
    OrderedPool<int> pool(3, 4, [&](int thread) {
        const std::lock_guard lock(mutex);
        threadsSeen.insert(thread);
    });
    std::vector<std::string> outcomes;
    const auto take = [&] {
        const Result<int> outcome = pool.takeOldest();
        outcomes.push_back(outcome ? std::to_string(*outcome) : outcome.error());
    };
    for (int i = 0; i < 10; ++i) {
        if (pool.full()) {
            take();
        }
        std::string file = std::to_string(i);
        file.insert(0, 1, 'f'); // not "f" + string: GCC 12's optimiser misreads it as overlapping
        pool.submit(file, [i]() -> Result<int> {
            std::this_thread::sleep_for((10 - i) * 1ms);
            if (i == 5) {
                throw std::bad_alloc();
            }
            if (i == 7) {
                return Failure("f7 unreadable\n");
            }
            return i * i;
        });
        EXPECT_LE(pool.inFlight(), 4u);
    }
    while (pool.inFlight() > 0) {
        take();
    }
    EXPECT_EQ(outcomes, (std::vector<std::string>{"0", "1", "4", "9", "16", "f5: std::bad_alloc",
                                                  "36", "f7 unreadable", "64", "81"}));
    pool.stop();
    EXPECT_EQ(threadsSeen, (std::set<int>{0, 1, 2}));
}

// Stop waits for the files being worked on and drops the rest unbegun.
TEST(OrderedPool, StopFinishesOnlyTheFilesInFlight) {
    std::atomic<int> begun{0};
    std::atomic<int> finished{0};
    std::atomic<bool> release{false};
    OrderedPool<int> pool(2, 8);
    for (int i = 0; i < 6; ++i) {
        pool.submit("f", [&]() -> Result<int> {
            ++begun;
            while (!release) {
                std::this_thread::sleep_for(1ms);
            }
            std::this_thread::sleep_for(20ms);
            ++finished;
            return 0;
        });
    }
    while (begun < 2) {
        std::this_thread::sleep_for(1ms);
    }
    std::jthread releaser([&] {
        std::this_thread::sleep_for(30ms);
        release = true;
    });
    pool.stop();
    EXPECT_EQ(finished.load(), 2);
    EXPECT_EQ(begun.load(), 2);
    EXPECT_EQ(pool.inFlight(), 0u);
}

} // namespace
} // namespace vantrel
