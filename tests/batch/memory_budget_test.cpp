#include "batch/memory_budget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace tamblure::batch {
namespace {

TEST(MemoryBudget, FitsWhatItHoldsAtMostAndNoMore)
{
    const MemoryBudget budget(100);
    EXPECT_TRUE(budget.fits(100));
    EXPECT_FALSE(budget.fits(101));
}

// A picture whose memory is taken waits until it is given back, and then
// goes; one that fits beside what is taken goes at once.
TEST(MemoryBudget, MakesAPictureWaitWhileOthersHoldItsShare)
{
    MemoryBudget budget(100);
    auto first = budget.reserve(60);
    {
        auto beside = budget.reserve(40);
    }
    std::atomic<bool> started{false};
    std::thread second([&] {
        auto mine = budget.reserve(50);
        started = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(started);
    first = MemoryBudget::Reservation();
    second.join();
    EXPECT_TRUE(started);
}

} // namespace
} // namespace tamblure::batch
