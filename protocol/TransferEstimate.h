#pragma once
#include <cstdint>

// How far a transfer has got, and how long the rest will take at the rate measured so far
// plus the pauses still to come.
struct TransferEstimate
{
    unsigned percent = 0;         // rounded down, so 100 only once everything is done
    std::int64_t secondsLeft = -1;  // rounded up; -1 while nothing has been done to measure
};

// The pause after each message of a bulk send: how long it is, how many have been waited
// out and how many are still to come. The time spent in pauses is not part of the rate.
struct TransferPauses
{
    std::uint64_t pauseMs = 0;
    std::uint64_t done = 0;
    std::uint64_t left = 0;
};

TransferEstimate EstimateTransfer(std::uint64_t done, std::uint64_t total, std::uint64_t elapsedMs,
                                  const TransferPauses& pauses = {});

// What a reception shows once data flows: the rate over the span in which blocks came (the
// first block's bytes arrived before it was handed over, so they are not counted), and how
// long the input has been silent. Times in ms on one clock.
struct ReceptionFigures
{
    std::int64_t bytesPerSecond = -1; // -1 until a second block has come
    std::uint64_t silentSeconds = 0;  // rounded down
};

ReceptionFigures MeasureReception(std::uint64_t firstBlockBytes, std::uint64_t totalBytes, std::uint64_t firstBlockMs,
                                  std::uint64_t lastBlockMs, std::uint64_t nowMs);
