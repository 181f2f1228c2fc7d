#pragma once
#include <windows.h>
#include <mmsystem.h>

// Registered with the ports (CALLBACK_FUNCTION). They run on the driver's thread and only
// hand the five values to the current MIDI window, which handles them on its own thread.
void CALLBACK MidiInProc(HMIDIIN handle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);
void CALLBACK MidiOutProc(HMIDIOUT handle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);
