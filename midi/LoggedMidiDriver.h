#pragma once
#include "midi/MidiDriver.h"

// The seam as the program calls it: each call goes to the bound driver unchanged, and what
// it sends, opens, closes or resets is written to the MIDI log on the way.
class LoggedMidiDriver : public MidiDriver
{
public:
    MidiDriver* m_driver = nullptr;

    UINT midiInGetNumDevs() override;
    MMRESULT midiInGetDevCapsA(UINT_PTR deviceId, LPMIDIINCAPSA caps, UINT size) override;
    MMRESULT midiInOpen(LPHMIDIIN handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                        DWORD flags) override;
    MMRESULT midiInClose(HMIDIIN handle) override;
    MMRESULT midiInPrepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT size) override;
    MMRESULT midiInUnprepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT size) override;
    MMRESULT midiInAddBuffer(HMIDIIN handle, LPMIDIHDR header, UINT size) override;
    MMRESULT midiInStart(HMIDIIN handle) override;
    MMRESULT midiInReset(HMIDIIN handle) override;

    UINT midiOutGetNumDevs() override;
    MMRESULT midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT size) override;
    MMRESULT midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                         DWORD flags) override;
    MMRESULT midiOutClose(HMIDIOUT handle) override;
    MMRESULT midiOutPrepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT size) override;
    MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT size) override;
    MMRESULT midiOutLongMsg(HMIDIOUT handle, LPMIDIHDR header, UINT size) override;
    MMRESULT midiOutShortMsg(HMIDIOUT handle, DWORD message) override;
    MMRESULT midiOutReset(HMIDIOUT handle) override;
};
