#pragma once
#include <windows.h>
#include <mmsystem.h>

#include <deque>
#include <memory>
#include <vector>

#include "midi/MidiEvent.h"

// The one way in from the device. It owns the input port and the rotation of its buffers:
// opening with every buffer queued, giving each returned buffer back, and closing with the
// reset that hands the queued ones back, which are then only released. What the blocks are
// for is the business of whoever collects them, each into a buffer of its own.
class CMidiReceiver
{
public:
    static CMidiReceiver& Instance();

    // 0 when the input port is open, every buffer queued and input started; otherwise the
    // message saying why not, and the port is closed again.
    UINT Open();
    // Resets the input, releases every buffer it handed back, closes the port (and every port
    // OpenEvery opened).
    void Close();
    // Finding the device: listens on every input port at once, each with buffers of its own.
    // Returns, for each port of the driver's list, 0 when it listens, or the message saying why
    // not (in use by another program, for instance).
    std::vector<UINT> OpenEvery();
    // The port number of an input OpenEvery opened; -1 for any other handle.
    int PortOf(HMIDIIN handle) const;
    // The buffer of an input callback when it holds bytes; null for any other callback. A
    // malformed message or an empty block is dropped and its buffer queued again, so that the
    // buffers stay in the rotation. `recorded` is the block's byte count, never more than the
    // buffer holds, whatever the driver reports.
    MIDIHDR* Block(HMIDIIN handle, UINT message, DWORD_PTR param1, DWORD& recorded);
    // Gives a returned buffer back to the driver (release, clear, prepare, add); FALSE after
    // saying what failed.
    BOOL Requeue(HMIDIIN handle, MIDIHDR* header);
    // Releases the buffer that ended a reply; FALSE after saying it failed.
    BOOL Release(HMIDIIN handle, MIDIHDR* header);
    // A block the driver handed back, with the bytes it holds.
    struct HeldBlock
    {
        const char* data;
        DWORD recorded;
    };
    // Takes back what the driver holds: a driver that hands a buffer back only at F7 or when
    // it is full keeps a message still arriving where no window sees it. Resets the input and
    // returns, in order, every block it handed back and any in `pending` (a window's queue of
    // events, guarded by MidiRoutingLock) not yet handled, removing this port's events from
    // it; their buffers stay prepared, out of the driver, until Restart or Close.
    std::vector<HeldBlock> TakeBack(std::deque<MidiEvent>& pending);
    // Queues every input buffer again and restarts input after TakeBack; FALSE after saying
    // what failed.
    BOOL Restart();
    // The port is being closed: what it hands back now is released by Close alone.
    bool Closing() const { return m_closing; }

private:
    CMidiReceiver() = default;
    // One of the inputs OpenEvery opened, with its buffers: enough for a few replies at once.
    static constexpr int ListenerBufferCount = 4;
    struct Listener
    {
        HMIDIIN handle = nullptr;
        int port = -1;
        std::vector<unsigned char> bytes;
        MIDIHDR headers[ListenerBufferCount] = {};
    };
    // Opens input `port` into `handle` with `count` buffers queued and input started; 0, or
    // the message saying why not after closing everything again.
    UINT Start(int port, HMIDIIN& handle, MIDIHDR* headers, unsigned char* const* buffers, int count);
    // Resets `handle`, releases the headers it handed back and closes it; true once closed.
    bool Shut(HMIDIIN handle, MIDIHDR* headers, int count);
    bool m_closing = false;
    std::vector<std::unique_ptr<Listener>> m_listeners;
};
