#pragma once
#include <windows.h>

#include <cstdint>

// One driver callback, captured on the driver's thread and handled on the window's.
struct MidiEvent
{
    bool input;
    void* handle; // HMIDIIN or HMIDIOUT
    UINT message;
    DWORD_PTR instance;
    DWORD_PTR param1;
    DWORD_PTR param2;
    unsigned opening; // the port opening the callback belongs to
    std::int64_t stamp; // when the driver called back, on the wire clock
};

// Posted to the current MIDI window when events are waiting.
constexpr UINT WM_MIDI_EVENT = WM_APP + 0x100;
