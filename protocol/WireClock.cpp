#include "protocol/WireClock.h"

#include <algorithm>

std::int64_t WireClock::HandOver(std::int64_t now, std::uint64_t bytes)
{
    m_freeAt = std::max(m_freeAt, now) + static_cast<std::int64_t>(bytes) * m_byteTime;
    m_handedOver += bytes;
    return m_freeAt;
}

std::uint64_t WireClock::BytesAhead(std::int64_t now) const
{
    if (m_byteTime <= 0 || m_freeAt <= now)
        return 0;
    return static_cast<std::uint64_t>((m_freeAt - now + m_byteTime - 1) / m_byteTime);
}

std::int64_t WireClock::EarliestHandOver(std::uint64_t bytes, std::uint64_t bufferSize, std::uint64_t margin,
                                         bool drops) const
{
    // Bytes the line may hold ahead of the clock once the piece is handed over: the clock's
    // idle time counts as room too, so the answer may lie before FreeAt().
    const std::uint64_t room = bufferSize > margin ? bufferSize - margin : 0;
    std::uint64_t allowed = std::max(room, bytes);
    if (drops)
        allowed = std::max(bufferSize, bytes) - std::min(margin, std::max(bufferSize, bytes));
    return m_freeAt - (static_cast<std::int64_t>(allowed) - static_cast<std::int64_t>(bytes)) * m_byteTime;
}
