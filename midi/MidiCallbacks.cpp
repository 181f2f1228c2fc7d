#include "midi/MidiCallbacks.h"

#include "midi/MidiApp.h"
#include "midi/MidiDialog.h"
#include "midi/MidiLog.h"
#include "midi/MidiPortState.h"
#include "midi/MidiSender.h"

namespace
{
void Route(const MidiEvent& event)
{
    HWND post = nullptr;
    {
        std::lock_guard<std::mutex> lock(MidiRoutingLock());
        if (CMidiDialog* window = CurrentMidiWindowLocked())
            post = window->QueueMidiEventLocked(event);
    }
    // Posted after the lock is released: the woken window takes the lock at once, and a
    // wait for it costs more than the whole turnaround of a piece.
    if (post != nullptr)
        PostMessageW(post, WM_MIDI_EVENT, 0, 0);
}

// Read while the block is still the driver's to hand over: the window may queue it again.
void LogInput(HMIDIIN handle, UINT message, DWORD_PTR param1)
{
    MidiLog& log = TheMidiLog();
    const MIDIHDR* header = reinterpret_cast<const MIDIHDR*>(param1);
    switch (message)
    {
    case MIM_LONGDATA:
        log.Bytes(handle, reinterpret_cast<const unsigned char*>(header->lpData), header->dwBytesRecorded);
        break;
    case MIM_LONGERROR:
        log.Cut(handle, reinterpret_cast<const unsigned char*>(header->lpData), header->dwBytesRecorded);
        break;
    case MIM_DATA: log.Short(handle, static_cast<std::uint32_t>(param1)); break;
    case MIM_ERROR: log.Note(handle, MidiLogEvent::Dropped); break;
    default: break;
    }
}
}

void CALLBACK MidiInProc(HMIDIIN handle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2)
{
    LogInput(handle, message, param1);
    Route(MidiEvent{true, handle, message, instance, param1, param2, PortState().inputOpening.load(), LineNow()});
}

void CALLBACK MidiOutProc(HMIDIOUT handle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2)
{
    // Stamped here: the pause after a message counts from this moment, not from when the
    // window's thread gets round to it.
    CMidiSender::Instance().OnDriverEvent(
        MidiEvent{false, handle, message, instance, param1, param2, PortState().outputOpening.load(), LineNow()});
}
