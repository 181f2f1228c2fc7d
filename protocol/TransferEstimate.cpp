#include "protocol/TransferEstimate.h"

TransferEstimate EstimateTransfer(std::uint64_t done, std::uint64_t total, std::uint64_t elapsedMs)
{
    TransferEstimate estimate;
    if (done >= total)
    {
        estimate.percent = 100;
        estimate.secondsLeft = 0;
        return estimate;
    }
    estimate.percent = static_cast<unsigned>(done * 100 / total);
    if (done > 0 && elapsedMs > 0)
    {
        // elapsed / done per byte, times what is left, in whole seconds rounded up.
        const std::uint64_t numerator = elapsedMs * (total - done);
        const std::uint64_t denominator = done * 1000;
        estimate.secondsLeft = static_cast<std::int64_t>((numerator + denominator - 1) / denominator);
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
