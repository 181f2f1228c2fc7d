#include <gtest/gtest.h>

#include "protocol/TransferEstimate.h"

TEST(TransferEstimate, PercentDownAndTimeLeftUpFromTheRateSoFar)
{
    const struct { std::uint64_t done, total, elapsedMs; unsigned percent; std::int64_t secondsLeft; } cases[] = {
        {0, 1000, 5000, 0, -1},                // nothing to measure yet
        {10, 1000, 0, 1, -1},                  // no time has passed
        {3125, 31250, 1000, 10, 9},            // the wire rate: 9 s for the other 28,125 bytes
        {999, 1000, 1000, 99, 1},              // 1.001 ms left still shows a second
        {1000, 1000, 7000, 100, 0},
        {1, 3, 1000, 33, 2},
        {0xFFFFFFFFull - 1, 0xFFFFFFFFull, 3600000, 99, 1},  // no overflow at the largest files
    };
    for (const auto& c : cases)
    {
        const TransferEstimate estimate = EstimateTransfer(c.done, c.total, c.elapsedMs);
        EXPECT_EQ(c.percent, estimate.percent) << c.done << " of " << c.total;
        EXPECT_EQ(c.secondsLeft, estimate.secondsLeft) << c.done << " of " << c.total;
    }
}
