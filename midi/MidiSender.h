#pragma once
#include <windows.h>
#include <mmsystem.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "midi/MidiEvent.h"
#include "midi/MidiPortState.h"
#include "midi/OneShotTimer.h"

constexpr UINT DefaultOverdueGraceMs = 3000;
// How long after its last byte should have left the line a message that the driver has not
// completed is given up. Tests shorten it.
UINT OverdueGraceMs();
void SetOverdueGraceMs(UINT milliseconds);

enum class SendOutcome
{
    Sent,       // every message left whole
    Cancelled,  // ended at a message boundary on request
    Failed,     // the driver refused a step (errorId says which)
    Stopped,    // the interface did not finish a message long after its time on the line
};

// How a send ended. Messages go in order, so those that left whole are the first `whole`.
struct SendResult
{
    SendOutcome outcome = SendOutcome::Sent;
    std::size_t messages = 0;
    std::size_t whole = 0;
    std::uint64_t bytes = 0;
    std::uint64_t bytesLeft = 0;  // left the line by the clock, never more than the driver finished
    UINT errorId = 0;
    MMRESULT driverResult = MMSYSERR_NOERROR;
};

// Where a send stands, for its progress and time left.
struct SendProgress
{
    std::uint64_t bytes = 0;
    std::uint64_t bytesLeft = 0;
    std::uint64_t pausesDone = 0;
    std::uint64_t pausesLeft = 0;
};

// Whoever asked for a send (a window) hears how it ended, on the user-interface thread, once
// its last byte has left the line by the clock (a failure or a stopped interface at once).
class MidiSendListener
{
public:
    virtual void OnSendEnded(const SendResult& result) = 0;

protected:
    ~MidiSendListener() = default;
};

// The one way out to the device. It owns the output port, its headers and the rules every
// message follows: split into pieces of at most one output buffer (whole under Wine, where each
// piece would arrive as a broken message), paced by the wire clock so that the bytes ahead of
// it never fill the smallest kernel buffer past its margin, the pause of MIDI Setup after each
// message (counted from the driver's completion or the clock's silence, whichever is later, and
// kept across sends), Cancel at a message boundary, and a message the interface does not finish
// taken back only once it is overdue. The port closes once the line is idle by the clock, so
// that a driver that drains its buffer on closing never blocks the window.
class CMidiSender
{
public:
    static CMidiSender& Instance();
    // A message of `length` bytes that goes out whole into a kernel buffer too small for it
    // (under Wine, unless its buffer is raised): Linux drops it.
    static bool MayBeDropped(std::size_t length) { return UnderWine() && length > LineBufferSize; }

    // 0 when the output port is open (or already was); otherwise the message saying why not.
    // `port`: the driver's port number to open instead of the chosen port (finding the
    // device); a port open for something else is closed first, unless a send still needs it.
    UINT OpenOutput(int port = -1);
    // Sends the messages in order (a message of at most three bytes not starting with F0 as a
    // short message). FALSE when it failed at once: the listener has heard it.
    BOOL Send(std::vector<std::vector<unsigned char>> messages, MidiSendListener* listener);
    // A send is still being handed to the driver: another would have to wait behind it.
    bool Busy() const { return m_active != nullptr; }
    // The listener's send, or its result, is still on its way.
    bool Carries(const MidiSendListener* listener) const;
    // The listener's send ends once the message on its way has gone out whole.
    void Cancel(const MidiSendListener* listener);
    // The listener goes away: its send goes on, unheard.
    void Forget(const MidiSendListener* listener);
    // The progress of the listener's send, until it has heard how it ended.
    SendProgress Progress(const MidiSendListener* listener) const;
    // When everything asked for so far has left the line, by the clock.
    std::int64_t ExpectedEnd() const;

    // Another driver or line: the silence after the last message on the old one counts no more.
    void NewLine() { m_pauseFrom = 0; }
    // Closes the port once the line is idle by the clock, unless a send needs it.
    void CloseWhenIdle();

    // From the driver's thread (MidiOutProc).
    void OnDriverEvent(const MidiEvent& event);

private:
    struct Piece
    {
        std::size_t offset, length;
        bool first, last, isShort;
    };
    struct Transfer;
    struct Slot
    {
        MIDIHDR header{};
        bool busy = false;
        std::size_t piece = 0;
        std::int64_t leavesAt = 0;
    };
    // A send that has ended, until its listener hears of it.
    struct Report
    {
        std::unique_ptr<Transfer> transfer;
        std::int64_t at;
    };
    const Transfer* Find(const MidiSendListener* listener) const;

    CMidiSender() = default;
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Deliver();
    void OnCompletion(MIDIHDR* header, std::int64_t stamp);
    // Hands over what the clock, the pause and the free headers allow; schedules the rest.
    void Pump();
    BOOL HandOver(Slot& slot, std::size_t piece);
    // The active send hands nothing more over; the first failure is the one reported. FALSE.
    BOOL Fail(UINT errorId, MMRESULT driverResult);
    // The active send has nothing more to hand over and nothing in the driver.
    void Finish();
    // The interface has not finished a message long after its time on the line: the driver
    // gives back what it holds, the port closes, and the send ends at once.
    void Stop();
    void CheckOverdue();
    void StopOverdueTimer();
    void ReportDue();
    void CloseOutput();
    std::size_t InDriver() const;

    HWND m_window = nullptr;
    HMIDIOUT m_output = nullptr;
    int m_outputFor = -1;  // the port asked for by number; -1: the chosen one
    std::unique_ptr<Transfer> m_active;
    // Pieces the driver may hold at once. The clock's margin already bounds the bytes ahead
    // on a paced line; at full speed each wake of the window thread refills them all, so the
    // thread's turnaround no longer sets the pace.
    static constexpr std::size_t SlotCount = 32;
    Slot m_slots[SlotCount];
    std::deque<Report> m_reports;
    std::int64_t m_pauseFrom = 0;  // the silence after the last message (0: none yet)
    bool m_failedAtOnce = false;
    std::int64_t m_overdueTimerAt = 0;  // when the overdue timer is due (0: none set)
    COneShotTimer m_next;
    std::deque<MidiEvent> m_events;  // guarded by MidiRoutingLock
};
