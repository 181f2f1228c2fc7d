#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

#include "protocol/WireClock.h"

// Messages handed over at given times (microseconds) on a 320 us line; then where the clock
// stands at `now`, and when a piece may go into a 4096-byte buffer with 256 bytes to spare.
TEST(WireClock, LineIsBusyUntilEveryByteHandedOverHasLeft)
{
    const struct { const char* name; std::vector<std::pair<std::int64_t, std::uint64_t>> handed; std::int64_t now;
                   std::int64_t freeAt; std::uint64_t ahead, left; std::uint64_t piece; bool drops; std::int64_t earliest;
    } cases[] = {
        {"an idle line takes a piece at once", {}, 1000, 0, 0, 0, 100, true, -3740 * 320},
        {"bytes leave one by one (rounded up ahead)", {{1000, 10}}, 1321, 4200, 9, 1, 3840, false, 4200},
        {"a message queues behind the one on the line", {{0, 100}, {1000, 100}}, 1000, 64000, 197, 3, 3840, true,
         64000},
        {"a gap lets the line fall idle first", {{0, 10}, {10000, 10}}, 10000, 13200, 10, 10, 3841, true, 13520},
        {"a piece over the room waits for silence", {{0, 1000}}, 0, 320000, 1000, 0, 4096, false, 320000},
        {"... and for the margin where the buffer drops", {{0, 1000}}, 0, 320000, 1000, 0, 4096, true,
         320000 + 256 * 320},
        {"all gone", {{0, 1000}}, 400000, 320000, 0, 1000, 8200, true, 320000 + 256 * 320},
    };
    for (const auto& c : cases)
    {
        WireClock clock;
        for (const auto& [at, bytes] : c.handed)
            clock.HandOver(at, bytes);
        EXPECT_EQ(std::make_tuple(c.freeAt, c.ahead, c.left, c.earliest),
                  std::make_tuple(clock.FreeAt(), clock.BytesAhead(c.now), clock.BytesLeft(c.now),
                                  clock.EarliestHandOver(c.piece, 4096, 256, c.drops))) << c.name;
    }
}
