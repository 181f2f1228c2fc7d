#pragma once
#include <windows.h>
#include <mmsystem.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

// How long messages leave an emulated output port for the device, and when the program is told
// they are done: the behaviours of the MIDI drivers users have. The emulated driver keeps
// winmm's contract (locking, header flags, callbacks); this part decides only what reaches the
// device when, and when each message completes.
class OutputLine
{
public:
    using Clock = std::chrono::steady_clock;

    enum class Behaviour
    {
        Cable,    // done when its last byte has left the line; messages one after another
        Alsa,     // Wine on Linux: done before midiOutLongMsg returns; a kernel buffer that
                  // drains at the line's rate, silently drops what does not fit, and is
                  // drained before the port closes
        Midisrv,  // Windows' MIDI service: done before midiOutLongMsg returns; the service's
                  // unlimited buffer drains at the line's rate
        Stalled,  // an unplugged interface: from a chosen message on, nothing completes
    };

    // When the program hears that a message is done.
    enum class Completion
    {
        Later,            // Advance or Reset reports it
        Now,              // at once, from the driver's own thread
        OnCallersThread,  // inside the handing-over call, before it returns
    };

    // A message as the driver knows it.
    struct Message
    {
        std::uintptr_t handle = 0;
        MIDIHDR* header = nullptr;
        std::size_t record = 0;
    };

    void SetBehaviour(Behaviour behaviour);
    void SetKernelBufferSize(std::size_t bytes);
    void SetStallFrom(std::size_t messages);
    std::size_t DroppedBytes() const;

    // Every transfer put on the line, in order, as scheduled when it was handed over (one that
    // a reset cuts short keeps its planned end): for measuring the line, not the program.
    struct TransferRecord
    {
        Clock::time_point startsAt;
        Clock::time_point endsAt;
        std::size_t bytes = 0;
    };
    const std::vector<TransferRecord>& Transfers() const;

    // What reaches the device: System Exclusive bytes, or one short message.
    struct Arrival
    {
        std::vector<std::uint8_t> bytes;
        bool isShort = false;
        DWORD shortMessage = 0;
        std::uintptr_t handle = 0;  // the port it went out on
    };

    // A long message handed over at `now`; its bytes leave one every `perByte` (zero: at once).
    Completion Accept(const Message& message, const std::uint8_t* bytes, std::size_t size,
                      Clock::time_point now, Clock::duration perByte);
    // A short message of port `handle`: true if it reaches the device at once; otherwise it
    // waits behind the bytes a driver buffer holds (and alsa drops it when it does not fit).
    bool AcceptShort(std::uintptr_t handle, DWORD message, Clock::time_point now,
                     Clock::duration perByte);

    // What has reached the device by `now`, in order, and the messages done by then. Returns
    // when the next thing falls due, or time_point::max().
    Clock::time_point Advance(Clock::time_point now, std::vector<Arrival>& arrived,
                              std::vector<Message>& completed);

    // Closing port `handle` waits until the line no longer holds its bytes (alsa's drain).
    bool DrainsOnClose() const;
    bool Holds(std::uintptr_t handle) const;
    // A drain that gave up: what of the port's bytes is on the line arrives cut short, the
    // rest is dropped and counted.
    void Drop(std::uintptr_t handle, Clock::time_point now, std::vector<Arrival>& arrived);

    // midiOutReset: the port's messages that are not done are handed back; what of them is
    // already on the line arrives cut short, the rest never leaves. Bytes the driver has
    // already reported done (a kernel or service buffer) keep draining.
    void Reset(std::uintptr_t handle, Clock::time_point now, std::vector<Arrival>& arrived,
               std::vector<Message>& completed);

    // Everything handed over has reached the device and is done.
    bool IsIdle() const;

private:
    struct Transfer
    {
        std::vector<std::uint8_t> bytes;
        Message message;
        bool completes = false;  // the message is done when this transfer has left
        bool isShort = false;    // a short message, not System Exclusive bytes
        DWORD shortMessage = 0;
        Clock::time_point startsAt;
        Clock::time_point endsAt;

        std::size_t SentBy(Clock::time_point now) const;
    };

    Transfer* Transmit(std::vector<std::uint8_t> bytes, const Message& message, bool completes,
                       Clock::time_point now, Clock::duration perByte);
    std::size_t KernelBufferSpace(Clock::time_point now) const;
    std::vector<std::uint8_t> IntoKernelBuffer(const std::uint8_t* bytes, std::size_t size,
                                               Clock::time_point now);
    static Arrival Cut(const Transfer& transfer, std::size_t sent);

    Behaviour m_behaviour = Behaviour::Cable;
    std::size_t m_kernelBufferSize = 4096;
    std::size_t m_stallFrom = 0;
    std::size_t m_dropped = 0;
    std::deque<Transfer> m_line;
    std::vector<TransferRecord> m_record;
    std::deque<Message> m_stalled;
    Clock::time_point m_lineFree{};
};

// "cable", "alsa", "midisrv" or "stalled"; false for anything else.
bool ParseLine(const char* name, OutputLine::Behaviour& line);
