#pragma once
#include <windows.h>
#include <mmsystem.h>

// Every MIDI call the program makes goes through this seam. It mirrors the winmm calls
// one to one (names, arguments, MIDIHDR and MMRESULT semantics), so that the product binds
// it to winmm and the tests and the demo bind it to the emulated driver.
class MidiDriver
{
public:
    virtual ~MidiDriver() = default;

    virtual UINT midiInGetNumDevs() = 0;
    virtual MMRESULT midiInGetDevCapsA(UINT_PTR deviceId, LPMIDIINCAPSA caps, UINT size) = 0;
    virtual MMRESULT midiInOpen(LPHMIDIIN handle, UINT deviceId, DWORD_PTR callback,
                                DWORD_PTR instance, DWORD flags) = 0;
    virtual MMRESULT midiInClose(HMIDIIN handle) = 0;
    virtual MMRESULT midiInPrepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT size) = 0;
    virtual MMRESULT midiInUnprepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT size) = 0;
    virtual MMRESULT midiInAddBuffer(HMIDIIN handle, LPMIDIHDR header, UINT size) = 0;
    virtual MMRESULT midiInStart(HMIDIIN handle) = 0;
    virtual MMRESULT midiInReset(HMIDIIN handle) = 0;

    virtual UINT midiOutGetNumDevs() = 0;
    virtual MMRESULT midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT size) = 0;
    virtual MMRESULT midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR callback,
                                 DWORD_PTR instance, DWORD flags) = 0;
    virtual MMRESULT midiOutClose(HMIDIOUT handle) = 0;
    virtual MMRESULT midiOutPrepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT size) = 0;
    virtual MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT size) = 0;
    virtual MMRESULT midiOutLongMsg(HMIDIOUT handle, LPMIDIHDR header, UINT size) = 0;
    virtual MMRESULT midiOutShortMsg(HMIDIOUT handle, DWORD message) = 0;
    // Hands back a long message still in the driver (MOM_DONE) before it returns: used
    // only when a window closes while a message is still going out.
    virtual MMRESULT midiOutReset(HMIDIOUT handle) = 0;
};

// The driver every MIDI call of the program uses; set once at start-up (or by a test).
MidiDriver& Midi();
void SetMidiDriver(MidiDriver* driver);
