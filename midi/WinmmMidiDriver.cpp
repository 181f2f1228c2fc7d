#include "midi/WinmmMidiDriver.h"

UINT WinmmMidiDriver::midiInGetNumDevs()
{
    return ::midiInGetNumDevs();
}

MMRESULT WinmmMidiDriver::midiInGetDevCapsA(UINT_PTR deviceId, LPMIDIINCAPSA caps, UINT size)
{
    return ::midiInGetDevCapsA(deviceId, caps, size);
}

MMRESULT WinmmMidiDriver::midiInOpen(LPHMIDIIN handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags)
{
    return ::midiInOpen(handle, deviceId, callback, instance, flags);
}

MMRESULT WinmmMidiDriver::midiInClose(HMIDIIN handle)
{
    return ::midiInClose(handle);
}

MMRESULT WinmmMidiDriver::midiInPrepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT size)
{
    return ::midiInPrepareHeader(handle, header, size);
}

MMRESULT WinmmMidiDriver::midiInUnprepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT size)
{
    return ::midiInUnprepareHeader(handle, header, size);
}

MMRESULT WinmmMidiDriver::midiInAddBuffer(HMIDIIN handle, LPMIDIHDR header, UINT size)
{
    return ::midiInAddBuffer(handle, header, size);
}

MMRESULT WinmmMidiDriver::midiInStart(HMIDIIN handle)
{
    return ::midiInStart(handle);
}

MMRESULT WinmmMidiDriver::midiInReset(HMIDIIN handle)
{
    return ::midiInReset(handle);
}

UINT WinmmMidiDriver::midiOutGetNumDevs()
{
    return ::midiOutGetNumDevs();
}

MMRESULT WinmmMidiDriver::midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT size)
{
    return ::midiOutGetDevCapsA(deviceId, caps, size);
}

MMRESULT WinmmMidiDriver::midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags)
{
    return ::midiOutOpen(handle, deviceId, callback, instance, flags);
}

MMRESULT WinmmMidiDriver::midiOutClose(HMIDIOUT handle)
{
    return ::midiOutClose(handle);
}

MMRESULT WinmmMidiDriver::midiOutPrepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT size)
{
    return ::midiOutPrepareHeader(handle, header, size);
}

MMRESULT WinmmMidiDriver::midiOutUnprepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT size)
{
    return ::midiOutUnprepareHeader(handle, header, size);
}

MMRESULT WinmmMidiDriver::midiOutLongMsg(HMIDIOUT handle, LPMIDIHDR header, UINT size)
{
    return ::midiOutLongMsg(handle, header, size);
}

MMRESULT WinmmMidiDriver::midiOutShortMsg(HMIDIOUT handle, DWORD message)
{
    return ::midiOutShortMsg(handle, message);
}

MMRESULT WinmmMidiDriver::midiOutReset(HMIDIOUT handle)
{
    return ::midiOutReset(handle);
}
