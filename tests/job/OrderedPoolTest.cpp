// Workers side by side must hand out exactly what a plain loop gives, in its order, within bounds.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "job/OrderedPool.h"

namespace norvik::test {
namespace {

using job::OrderedPool;

TEST(OrderedPool, HandsOutEveryResultInOrderWithinItsBoundsForAnyWorkerCount) {
    for (const unsigned workers : {0U, 1U, 2U, 8U}) {
        constexpr std::size_t kCount = 300;
        constexpr std::size_t kWindow = 5;
        std::atomic<std::size_t> taken{0};
        std::atomic<std::size_t> worstLead{0};
        OrderedPool<std::string> pool(kCount, workers, kWindow, 1 << 20, [&](std::size_t i) {
            // Items finish out of order: every third one takes longer.
            if (i % 3 == 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            const std::size_t lead = i - taken.load();
            std::size_t worst = worstLead.load();
            while (lead > worst && !worstLead.compare_exchange_weak(worst, lead)) {
            }
            return std::to_string(i);
        });
        for (std::size_t i = 0; i < kCount; ++i) {
            const std::optional<std::string> got = pool.take();
            ASSERT_TRUE(got) << workers << " workers, item " << i;
            EXPECT_EQ(*got, std::to_string(i));
            taken = i + 1;
        }
        EXPECT_FALSE(pool.take());
        EXPECT_TRUE(pool.finished());
        EXPECT_LE(worstLead.load(), kWindow) << workers << " workers ran too far ahead";
    }
}

TEST(OrderedPool, KeepsResultsOverTheBudgetWaitingAndHandsFailuresOverWithTheirItem) {
    std::atomic<std::size_t> started{0};
    OrderedPool<std::string> pool(
        50, 2, 50, 100,
        [&](std::size_t i) {
            ++started;
            if (i == 7) {
                throw std::runtime_error("seven");
            }
            return std::string(60, 'x');
        },
        [](const std::string& s) { return s.size(); });
    // Nothing taken: one result of 60 is under the budget, two are over it, so at most three items
    // are made before the consumer takes one (a second worker may be in the middle of one more).
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_LE(started.load(), 3U);
    for (std::size_t i = 0; i < 50; ++i) {
        if (i == 7) {
            EXPECT_THROW(static_cast<void>(pool.take()), std::runtime_error);
        } else {
            EXPECT_EQ(pool.take()->size(), 60U) << i;
        }
    }
}

TEST(OrderedPool, BoundsTheItemsHoldingSomethingScarceWhileOthersRunFarAhead) {
    // Every tenth item holds a handle: at most 4 may hold at once, the rest run ahead in a wide window.
    constexpr std::size_t kCount = 400;
    std::atomic<std::size_t> holding{0};
    std::atomic<std::size_t> worstHolding{0};
    std::atomic<std::size_t> started{0};
    OrderedPool<int> pool(
        kCount, 2, 1000, 1 << 20,
        [&](std::size_t i) {
            ++started;
            if (i % 10 == 0) {
                const std::size_t now = ++holding;
                std::size_t worst = worstHolding.load();
                while (now > worst && !worstHolding.compare_exchange_weak(worst, now)) {
                }
            }
            return static_cast<int>(i);
        },
        {}, [](int i) { return i % 10 == 0; }, 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // Nothing taken yet: the fourth holder (or an item in flight) stops the workers.
    EXPECT_LE(started.load(), 31U + 2U);
    EXPECT_GE(started.load(), 4U);
    for (std::size_t i = 0; i < kCount; ++i) {
        const std::optional<int> got = pool.take();
        ASSERT_TRUE(got);
        EXPECT_EQ(*got, static_cast<int>(i));
        if (i % 10 == 0) {
            --holding;
        }
    }
    // The pool frees a holder's place inside take(), before this loop counts it as released.
    EXPECT_LE(worstHolding.load(), 5U);
}

TEST(OrderedPool, CancelDropsWhatWasNotTakenAndATimedTakeReturnsWhenNothingIsReady) {
    std::atomic<bool> release{false};
    std::atomic<std::size_t> made{0};
    {
        OrderedPool<int> pool(1000, 2, 8, 1 << 20, [&](std::size_t i) {
            while (i == 0 && !release) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            ++made;
            return static_cast<int>(i);
        });
        EXPECT_FALSE(pool.take(std::chrono::milliseconds(20))); // item 0 is still in hand
        release = true;
        EXPECT_EQ(pool.take(), 0);
        pool.cancel();
        EXPECT_FALSE(pool.take());
        EXPECT_TRUE(pool.finished());
    }
    EXPECT_LE(made.load(), 1U + 8U + 2U); // the window and the items in hand, never the whole list
}

} // namespace
} // namespace norvik::test
