// The emulated driver and device packaged as a winmm.dll, so that tests run the product
// executable itself, with its own winmm binding: Wine loads this DLL in place of the
// system's when it lies beside the program and WINEDLLOVERRIDES holds winmm=n,b. Each MIDI
// export is the emulated driver's call of the same name; the timers are the system's.
//   SYSEXDUMP_STANDIN_PACE=full|wire   how fast the emulated line runs (wire by default)
//   SYSEXDUMP_STANDIN_LINE=cable|alsa|midisrv|stalled   which driver it behaves like (cable)
//   SYSEXDUMP_STANDIN_RECORD=<folder>  where the device's state is left (DeviceRecord.h)
#include <windows.h>
#include <mmsystem.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "emulator/DeviceRecord.h"
#include "emulator/EmulatedDevice.h"
#include "emulator/EmulatedMidiDriver.h"

namespace
{
struct StandIn
{
    EmulatedDevice device;
    EmulatedMidiDriver driver{device};
};

std::string Setting(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Made by the first call, not in DllMain: the driver starts a thread, which the loader lock
// forbids there. Never destroyed: at process exit its thread is already gone, and the
// destructor would wait for it.
EmulatedMidiDriver& Driver()
{
    static StandIn* const standIn = [] {
        auto* made = new StandIn;
        made->driver.SetPace(Setting("SYSEXDUMP_STANDIN_PACE") == "full" ? EmulatedMidiDriver::Pace::FullSpeed
                                                                          : EmulatedMidiDriver::Pace::WireRate);
        EmulatedMidiDriver::Line line = EmulatedMidiDriver::Line::Cable;
        if (ParseLine(std::getenv("SYSEXDUMP_STANDIN_LINE"), line))
            made->driver.SetLine(line);
        return made;
    }();
    return standIn->driver;
}

// The program closes its ports at the end of every transaction, so the record is written
// each time the last one closes: at process exit the driver's thread no longer runs.
MMRESULT RecordWhenAllClosed(MMRESULT closeResult)
{
    static const std::string folder = Setting("SYSEXDUMP_STANDIN_RECORD");
    EmulatedMidiDriver& driver = Driver();
    if (closeResult == MMSYSERR_NOERROR && !folder.empty() &&
        driver.OpenInputPortCount() + driver.OpenOutputPortCount() == 0)
        RecordDevice(driver, folder);
    return closeResult;
}

// The system's winmm, loaded by its full path (by name, the loader would hand back this DLL).
HMODULE SystemWinmm()
{
    static const HMODULE winmm = [] {
        wchar_t folder[MAX_PATH] = {};
        const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
        return length == 0 || length >= MAX_PATH ? nullptr
                                                 : LoadLibraryW((std::wstring(folder, length) + L"\\winmm.dll").c_str());
    }();
    return winmm;
}

// One of its calls; null when it cannot be had.
template <typename Function>
Function SystemCall(const char* name)
{
    const FARPROC call = SystemWinmm() != nullptr ? GetProcAddress(SystemWinmm(), name) : nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(call));
}
}

extern "C"
{
UINT WINAPI midiInGetNumDevs()
{
    return Driver().midiInGetNumDevs();
}

MMRESULT WINAPI midiInGetDevCapsA(UINT_PTR deviceId, LPMIDIINCAPSA caps, UINT size)
{
    return Driver().midiInGetDevCapsA(deviceId, caps, size);
}

MMRESULT WINAPI midiInOpen(LPHMIDIIN handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags)
{
    return Driver().midiInOpen(handle, deviceId, callback, instance, flags);
}

MMRESULT WINAPI midiInClose(HMIDIIN handle)
{
    return RecordWhenAllClosed(Driver().midiInClose(handle));
}

MMRESULT WINAPI midiInPrepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT size)
{
    return Driver().midiInPrepareHeader(handle, header, size);
}

MMRESULT WINAPI midiInUnprepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT size)
{
    return Driver().midiInUnprepareHeader(handle, header, size);
}

MMRESULT WINAPI midiInAddBuffer(HMIDIIN handle, LPMIDIHDR header, UINT size)
{
    return Driver().midiInAddBuffer(handle, header, size);
}

MMRESULT WINAPI midiInStart(HMIDIIN handle)
{
    return Driver().midiInStart(handle);
}

MMRESULT WINAPI midiInReset(HMIDIIN handle)
{
    return Driver().midiInReset(handle);
}

UINT WINAPI midiOutGetNumDevs()
{
    return Driver().midiOutGetNumDevs();
}

MMRESULT WINAPI midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT size)
{
    return Driver().midiOutGetDevCapsA(deviceId, caps, size);
}

MMRESULT WINAPI midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags)
{
    return Driver().midiOutOpen(handle, deviceId, callback, instance, flags);
}

MMRESULT WINAPI midiOutClose(HMIDIOUT handle)
{
    return RecordWhenAllClosed(Driver().midiOutClose(handle));
}

MMRESULT WINAPI midiOutPrepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT size)
{
    return Driver().midiOutPrepareHeader(handle, header, size);
}

MMRESULT WINAPI midiOutUnprepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT size)
{
    return Driver().midiOutUnprepareHeader(handle, header, size);
}

MMRESULT WINAPI midiOutLongMsg(HMIDIOUT handle, LPMIDIHDR header, UINT size)
{
    return Driver().midiOutLongMsg(handle, header, size);
}

MMRESULT WINAPI midiOutShortMsg(HMIDIOUT handle, DWORD message)
{
    return Driver().midiOutShortMsg(handle, message);
}

MMRESULT WINAPI midiOutReset(HMIDIOUT handle)
{
    return Driver().midiOutReset(handle);
}

// The pause between the messages of a bulk send runs on these.
MMRESULT WINAPI timeSetEvent(UINT delay, UINT resolution, LPTIMECALLBACK callback, DWORD_PTR user, UINT flags)
{
    static const auto system = SystemCall<decltype(&timeSetEvent)>("timeSetEvent");
    return system != nullptr ? system(delay, resolution, callback, user, flags) : 0;
}

MMRESULT WINAPI timeKillEvent(UINT id)
{
    static const auto system = SystemCall<decltype(&timeKillEvent)>("timeKillEvent");
    return system != nullptr ? system(id) : MMSYSERR_NOTSUPPORTED;
}
}
