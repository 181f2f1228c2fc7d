#pragma once
#include <cstdint>

// How far a transfer has got, and how long the rest will take at the rate measured so far
// (pauses included, since they are part of the elapsed time).
struct TransferEstimate
{
    unsigned percent = 0;         // rounded down, so 100 only once everything is done
    std::int64_t secondsLeft = -1;  // rounded up; -1 while nothing has been done to measure
};

TransferEstimate EstimateTransfer(std::uint64_t done, std::uint64_t total, std::uint64_t elapsedMs);
