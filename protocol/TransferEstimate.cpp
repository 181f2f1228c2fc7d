#include "protocol/TransferEstimate.h"

TransferEstimate EstimateTransfer(std::uint64_t done, std::uint64_t total, std::uint64_t elapsedMs,
                                  const TransferPauses& pauses)
{
    TransferEstimate estimate;
    if (done >= total)
    {
        estimate.percent = 100;
        estimate.secondsLeft = 0;
        return estimate;
    }
    estimate.percent = static_cast<unsigned>(done * 100 / total);
    const std::uint64_t paused = pauses.done * pauses.pauseMs;
    if (done > 0 && elapsedMs > 0)
    {
        // The time spent sending per byte, times what is left, plus the pauses to come; in
        // whole seconds rounded up.
        const std::uint64_t sending = elapsedMs > paused ? elapsedMs - paused : 0;
        const std::uint64_t msLeft = (sending * (total - done) + done - 1) / done + pauses.left * pauses.pauseMs;
        estimate.secondsLeft = static_cast<std::int64_t>((msLeft + 999) / 1000);
    }
    return estimate;
}

ReceptionFigures MeasureReception(std::uint64_t firstBlockBytes, std::uint64_t totalBytes, std::uint64_t firstBlockMs,
                                  std::uint64_t lastBlockMs, std::uint64_t nowMs)
{
    ReceptionFigures figures;
    figures.silentSeconds = (nowMs - lastBlockMs) / 1000;
    if (lastBlockMs > firstBlockMs)
        figures.bytesPerSecond =
            static_cast<std::int64_t>((totalBytes - firstBlockBytes) * 1000 / (lastBlockMs - firstBlockMs));
    return figures;
}
