#include "midi/MidiCallbacks.h"

#include "midi/MidiApp.h"
#include "midi/MidiDialog.h"
#include "midi/MidiPortState.h"

void CALLBACK MidiInProc(HMIDIIN handle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2)
{
    if (CMidiDialog* window = CurrentMidiWindow())
        window->QueueMidiEvent(MidiEvent{true, handle, message, instance, param1, param2,
                                         PortState().inputOpening.load()});
}

void CALLBACK MidiOutProc(HMIDIOUT handle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2)
{
    if (CMidiDialog* window = CurrentMidiWindow())
        window->QueueMidiEvent(MidiEvent{false, handle, message, instance, param1, param2,
                                         PortState().outputOpening.load()});
}
