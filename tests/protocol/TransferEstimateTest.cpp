#include <gtest/gtest.h>

#include <tuple>

#include "protocol/TransferEstimate.h"

TEST(TransferEstimate, PercentDownAndTimeLeftUpFromTheRateSoFar)
{
    const struct { std::uint64_t done, total, elapsedMs; unsigned percent; std::int64_t secondsLeft;
                   TransferPauses pauses; } cases[] = {
        {0, 1000, 5000, 0, -1, {}},                // nothing to measure yet
        {10, 1000, 0, 1, -1, {}},                  // no time has passed
        {3125, 31250, 1000, 10, 9, {}},            // the wire rate: 9 s for the other 28,125 bytes
        {999, 1000, 1000, 99, 1, {}},              // 1.001 ms left still shows a second
        {1000, 1000, 7000, 100, 0, {}},
        {1, 3, 1000, 33, 2, {}},
        {0xFFFFFFFFull - 1, 0xFFFFFFFFull, 3600000, 99, 1, {}},  // no overflow at the largest files
        // 1 s pauses, two behind and ten to come: 9 s of sending at the rate without the pauses
        {3125, 31250, 3000, 10, 19, {1000, 2, 10}},
        {100, 200, 500, 50, 3, {1000, 1, 3}},  // the pauses alone
    };
    for (const auto& c : cases)
    {
        const TransferEstimate e = EstimateTransfer(c.done, c.total, c.elapsedMs, c.pauses);
        EXPECT_EQ(std::tie(c.percent, c.secondsLeft), std::tie(e.percent, e.secondsLeft)) << c.done << " of " << c.total;
    }
}

TEST(TransferEstimate, ReceptionRateOverTheSpanOfDataAndTheSilenceSince)
{
    const struct { std::uint64_t firstBytes, total, firstMs, lastMs, nowMs; std::int64_t rate; std::uint64_t silent; }
        cases[] = {
            {4096, 4096, 1000, 1000, 1999, -1, 0},        // one block: no span to measure over
            {4096, 12288, 1000, 3621, 3621, 3125, 0},     // two more blocks at the wire rate
            {4096, 12288, 1000, 3621, 63621, 3125, 60},   // the silence since does not lower it
            {1, 3126, 0, 1000, 2999, 3125, 1},            // the first block's bytes came before it
        };
    for (const auto& c : cases)
    {
        const ReceptionFigures f = MeasureReception(c.firstBytes, c.total, c.firstMs, c.lastMs, c.nowMs);
        EXPECT_EQ(std::tie(c.rate, c.silent), std::tie(f.bytesPerSecond, f.silentSeconds)) << c.total << " by " << c.lastMs;
    }
}
