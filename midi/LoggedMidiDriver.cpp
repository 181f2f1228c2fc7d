#include "midi/LoggedMidiDriver.h"

#include "midi/MidiLog.h"

UINT LoggedMidiDriver::midiInGetNumDevs()
{
    return m_driver->midiInGetNumDevs();
}

MMRESULT LoggedMidiDriver::midiInGetDevCapsA(UINT_PTR deviceId, LPMIDIINCAPSA caps, UINT size)
{
    return m_driver->midiInGetDevCapsA(deviceId, caps, size);
}

MMRESULT LoggedMidiDriver::midiInOpen(LPHMIDIIN handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                                      DWORD flags)
{
    MIDIINCAPSA caps{};
    const bool named = m_driver->midiInGetDevCapsA(deviceId, &caps, sizeof caps) == MMSYSERR_NOERROR;
    const MMRESULT result = m_driver->midiInOpen(handle, deviceId, callback, instance, flags);
    if (result == MMSYSERR_NOERROR)
        TheMidiLog().Opened(*handle, true, named ? caps.szPname : std::to_string(deviceId));
    return result;
}

MMRESULT LoggedMidiDriver::midiInClose(HMIDIIN handle)
{
    const MMRESULT result = m_driver->midiInClose(handle);
    if (result == MMSYSERR_NOERROR)
        TheMidiLog().Closed(handle);
    return result;
}

MMRESULT LoggedMidiDriver::midiInPrepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT size)
{
    return m_driver->midiInPrepareHeader(handle, header, size);
}

MMRESULT LoggedMidiDriver::midiInUnprepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT size)
{
    return m_driver->midiInUnprepareHeader(handle, header, size);
}

MMRESULT LoggedMidiDriver::midiInAddBuffer(HMIDIIN handle, LPMIDIHDR header, UINT size)
{
    return m_driver->midiInAddBuffer(handle, header, size);
}

MMRESULT LoggedMidiDriver::midiInStart(HMIDIIN handle)
{
    return m_driver->midiInStart(handle);
}

MMRESULT LoggedMidiDriver::midiInReset(HMIDIIN handle)
{
    TheMidiLog().Note(handle, MidiLogEvent::Reset);
    return m_driver->midiInReset(handle);
}

UINT LoggedMidiDriver::midiOutGetNumDevs()
{
    return m_driver->midiOutGetNumDevs();
}

MMRESULT LoggedMidiDriver::midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT size)
{
    return m_driver->midiOutGetDevCapsA(deviceId, caps, size);
}

MMRESULT LoggedMidiDriver::midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                                       DWORD flags)
{
    MIDIOUTCAPSA caps{};
    const bool named = m_driver->midiOutGetDevCapsA(deviceId, &caps, sizeof caps) == MMSYSERR_NOERROR;
    const MMRESULT result = m_driver->midiOutOpen(handle, deviceId, callback, instance, flags);
    if (result == MMSYSERR_NOERROR)
        TheMidiLog().Opened(*handle, false, named ? caps.szPname : std::to_string(deviceId));
    return result;
}

MMRESULT LoggedMidiDriver::midiOutClose(HMIDIOUT handle)
{
    const MMRESULT result = m_driver->midiOutClose(handle);
    if (result == MMSYSERR_NOERROR)
        TheMidiLog().Closed(handle);
    return result;
}

MMRESULT LoggedMidiDriver::midiOutPrepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT size)
{
    return m_driver->midiOutPrepareHeader(handle, header, size);
}

MMRESULT LoggedMidiDriver::midiOutUnprepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT size)
{
    return m_driver->midiOutUnprepareHeader(handle, header, size);
}

MMRESULT LoggedMidiDriver::midiOutLongMsg(HMIDIOUT handle, LPMIDIHDR header, UINT size)
{
    const MMRESULT result = m_driver->midiOutLongMsg(handle, header, size);
    if (result == MMSYSERR_NOERROR)
        TheMidiLog().Bytes(handle, reinterpret_cast<const unsigned char*>(header->lpData), header->dwBufferLength);
    return result;
}

MMRESULT LoggedMidiDriver::midiOutShortMsg(HMIDIOUT handle, DWORD message)
{
    const MMRESULT result = m_driver->midiOutShortMsg(handle, message);
    if (result == MMSYSERR_NOERROR)
        TheMidiLog().Short(handle, message);
    return result;
}

MMRESULT LoggedMidiDriver::midiOutReset(HMIDIOUT handle)
{
    TheMidiLog().Note(handle, MidiLogEvent::Reset);
    return m_driver->midiOutReset(handle);
}
