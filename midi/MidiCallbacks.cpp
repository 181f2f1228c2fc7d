#include "midi/MidiCallbacks.h"

#include "midi/MidiApp.h"
#include "midi/MidiDialog.h"
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
}

void CALLBACK MidiInProc(HMIDIIN handle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2)
{
    Route(MidiEvent{true, handle, message, instance, param1, param2, PortState().inputOpening.load(), LineNow()});
}

void CALLBACK MidiOutProc(HMIDIOUT handle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2)
{
    // Stamped here: the pause after a message counts from this moment, not from when the
    // window's thread gets round to it.
    CMidiSender::Instance().OnDriverEvent(
        MidiEvent{false, handle, message, instance, param1, param2, PortState().outputOpening.load(), LineNow()});
}
