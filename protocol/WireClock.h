#pragma once
#include <cstdint>

// The program's own clock of the MIDI line. A driver's completion says nothing reliable about
// the cable (some complete before a byte has left, some long after), so every message the
// program hands over is put on this clock instead: a message of n bytes handed over at time t
// has left the line no earlier than t + n byte times, after everything handed over before it.
// Times are microseconds on any steady scale.
class WireClock
{
public:
    // 31,250 baud, ten bits a byte.
    static constexpr std::int64_t CableByteTime = 320;

    // 0 makes the line infinitely fast: nothing is ever held back (tests at full speed).
    void SetByteTime(std::int64_t microseconds) { m_byteTime = microseconds; }
    std::int64_t ByteTime() const { return m_byteTime; }

    // A message of `bytes` handed to the driver at `now`; returns when its last byte has left.
    std::int64_t HandOver(std::int64_t now, std::uint64_t bytes);
    // When the last byte handed over so far has left the line.
    std::int64_t FreeAt() const { return m_freeAt; }
    bool Busy(std::int64_t now) const { return m_freeAt > now; }
    // Bytes handed over that may still be on their way at `now` (rounded up).
    std::uint64_t BytesAhead(std::int64_t now) const;
    // Bytes handed over, ever, and of those the ones that have surely left the line by `now`.
    std::uint64_t BytesHandedOver() const { return m_handedOver; }
    std::uint64_t BytesLeft(std::int64_t now) const { return m_handedOver - BytesAhead(now); }

    // The earliest moment a piece of `bytes` may be handed over so that the bytes ahead of the
    // clock never exceed what a buffer of `bufferSize` bytes holds with `margin` to spare. A
    // piece larger than that goes once the line is idle; where the buffer drops what does not
    // fit (`drops`), only after the margin's time on top, since the clock may run early.
    std::int64_t EarliestHandOver(std::uint64_t bytes, std::uint64_t bufferSize, std::uint64_t margin,
                                  bool drops) const;

private:
    std::int64_t m_byteTime = CableByteTime;
    std::int64_t m_freeAt = 0;
    std::uint64_t m_handedOver = 0;
};
