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

    // How the driver takes bytes in: the drivers users have.
    enum class Intake
    {
        Holding,   // bytes wait for a started input and a buffer, however long it takes
        Dropping,  // Wine: bytes that find input stopped or no buffer queued are lost at once
        Service,   // Windows' MIDI service: see ServiceWait and Fill
    };
    // How long the service lets bytes wait for a buffer before it drops them.
    static constexpr std::chrono::milliseconds ServiceWait{100};

    // A buffer on its way back to the program.
    struct HandBack
    {
        MIDIHDR* header = nullptr;
        UINT message = MIM_LONGDATA;  // or MIM_LONGERROR
        DWORD_PTR timestamp = 0;      // milliseconds since input started
    };

    void Start(Clock::time_point now);
    bool IsStarted() const;
    void AddBuffer(MIDIHDR* header, Clock::time_point now);
    std::size_t QueuedBuffers() const;

    // Bytes the device sends: they follow whatever is still on the line, one every
    // `perByte` (zero at full speed).
    void Send(std::vector<std::uint8_t> bytes, bool malformed, Clock::time_point now,
              Clock::duration perByte);
    bool HasPendingBytes() const;
    // Bytes that have arrived by `now` but wait for a buffer or for their block to end.
    std::size_t ArrivedBy(Clock::time_point now) const;
    // Holding until set; the bytes an intake drops are counted in `counter`.
    void SetIntake(Intake intake, std::size_t* counter);
    bool DropsWithoutBuffer() const;

    // Writes the bytes that have arrived by `now` into the queued buffers, in queue order (or
    // drops them, see Intake). A buffer goes back when it is full, when an F7 has been written
    // into it, or when its block reaches the limit `nextBlockLimit` chose for it (0: no
    // limit). The service keeps only System Exclusive bytes: real-time bytes and whatever
    // stands outside F0...F7 never reach a buffer, and a status byte inside System Exclusive
    // hands the buffer back with MIM_LONGERROR. Returns when the next buffer can complete or
    // the next bytes are to be dropped, or time_point::max() if nothing is due.
    Clock::time_point Fill(Clock::time_point now,
                           const std::function<std::size_t()>& nextBlockLimit,
                           std::vector<HandBack>& handBacks);

    // Hands back the first queued buffer as it stands, with `message`.
    bool HandBackFirst(UINT message, Clock::time_point now, std::vector<HandBack>& handBacks);

    // Stops input and hands back every queued buffer, the first with what has arrived of a
    // message still arriving (the service hands back one holding bytes with MIM_LONGERROR).
    // Bytes still to come stay on the line, as the device sends them.
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

    // What the intake does with one byte, given whether System Exclusive is open.
    enum class Take
    {
        Write,     // into the buffer
        Skip,      // never reaches a buffer
        EndError,  // hands the buffer back with MIM_LONGERROR; the byte is taken again after
    };
    Take Classify(std::uint8_t byte, bool inSysEx) const;

    DWORD_PTR Timestamp(Clock::time_point when) const;
    void CompleteFirst(UINT message, Clock::time_point when, std::vector<HandBack>& handBacks);
    void DropArrived(Clock::time_point cutoff);

    std::deque<MIDIHDR*> m_queue;
    std::deque<Segment> m_line;
    Clock::time_point m_lineFree{};
    Clock::time_point m_startTime{};
    bool m_started = false;
    bool m_blockOpen = false;
    bool m_blockMalformed = false;
    std::size_t m_blockLimit = 0;
    bool m_inSysEx = false;  // the service's: an F0 was written and its F7 has not come
    Intake m_intake = Intake::Holding;
    std::size_t* m_dropped = nullptr;
};
