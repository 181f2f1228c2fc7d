#pragma once
#include <windows.h>
#include <mmsystem.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

// The receiving side of one open MIDI input port: the buffers the program has queued, and the
// bytes on their way from the device, each arriving at its own time. It decides when a buffer
// goes back to the program; the driver does the locking, the header flags and the callbacks.
class EmulatedInputPort
{
public:
    using Clock = std::chrono::steady_clock;

    // A buffer on its way back to the program.
    struct HandBack
    {
        MIDIHDR* header = nullptr;
        UINT message = MIM_LONGDATA;  // or MIM_LONGERROR
        DWORD_PTR timestamp = 0;      // milliseconds since input started
    };

    void Start(Clock::time_point now);
    bool IsStarted() const;
    void AddBuffer(MIDIHDR* header);
    std::size_t QueuedBuffers() const;

    // Bytes the device sends: they follow whatever is still on the line, one every
    // `perByte` (zero at full speed).
    void Send(std::vector<std::uint8_t> bytes, bool malformed, Clock::time_point now,
              Clock::duration perByte);
    bool HasPendingBytes() const;
    // Bytes that have arrived by `now` but wait for a buffer or for their block to end.
    std::size_t ArrivedBy(Clock::time_point now) const;
    // With a counter, bytes that arrive while input is stopped or no buffer is queued are lost
    // and counted there, as under Wine; without one (the default) they wait for a buffer.
    void DropWithoutBuffer(std::size_t* counter);
    bool DropsWithoutBuffer() const;

    // Writes the bytes that have arrived by `now` into the queued buffers, in queue order (or
    // drops them, see DropWithoutBuffer). A
    // buffer goes back when it is full, when an F7 has been written into it, or when its block
    // reaches the limit `nextBlockLimit` chose for it (0: no limit). Returns when the next
    // buffer can complete or the bytes to be dropped have arrived, or time_point::max() if
    // nothing is due.
    Clock::time_point Fill(Clock::time_point now,
                           const std::function<std::size_t()>& nextBlockLimit,
                           std::vector<HandBack>& handBacks);

    // Hands back the first queued buffer as it stands, with `message`.
    bool HandBackFirst(UINT message, Clock::time_point now, std::vector<HandBack>& handBacks);

    // Stops input and hands back every queued buffer, the first with what has arrived of a
    // message still arriving. Bytes still to come stay on the line, as the device sends them.
    void Reset(Clock::time_point now, std::vector<HandBack>& handBacks);

private:
    struct Segment
    {
        std::vector<std::uint8_t> bytes;
        std::size_t position = 0;
        Clock::time_point start;
        Clock::duration perByte{};
        bool malformed = false;

        Clock::time_point ArrivalOf(std::size_t index) const
        {
            return start + perByte * static_cast<Clock::rep>(index + 1);
        }
    };

    DWORD_PTR Timestamp(Clock::time_point when) const;
    void CompleteFirst(UINT message, Clock::time_point when, std::vector<HandBack>& handBacks);
    void DropArrived(Clock::time_point now);

    std::deque<MIDIHDR*> m_queue;
    std::deque<Segment> m_line;
    Clock::time_point m_lineFree{};
    Clock::time_point m_startTime{};
    bool m_started = false;
    bool m_blockOpen = false;
    bool m_blockMalformed = false;
    std::size_t m_blockLimit = 0;
    std::size_t* m_dropped = nullptr;
};
