// winmm's contract, as the emulated driver keeps it: the port table and its handles, opening
// and closing with their notifications, header preparation, capability queries, failures
// on demand and the callbacks themselves.
#include "emulator/EmulatedMidiDriver.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

namespace
{
// Headers from before dwOffset existed are still valid, as with winmm.
constexpr std::size_t ShortestHeaderSize = offsetof(MIDIHDR, dwOffset);

using InProc = void(CALLBACK*)(HMIDIIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);
using OutProc = void(CALLBACK*)(HMIDIOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

template <typename Caps>
void FillCaps(Caps& caps, const std::string& name)
{
    caps.wMid = 0xFFFF;  // no registered manufacturer
    caps.wPid = 0xFFFF;
    caps.vDriverVersion = 0x0100;
    const std::size_t length = std::min(name.size(), sizeof caps.szPname - 1);
    std::memcpy(caps.szPname, name.data(), length);
    caps.szPname[length] = '\0';
    if constexpr (std::is_same_v<Caps, MIDIOUTCAPSA>)
    {
        caps.wTechnology = MOD_MIDIPORT;
        caps.wChannelMask = 0xFFFF;
    }
}
}

// A port closes only when none of its buffers is left in the driver and none of its callbacks
// is running, so that no callback can follow the close; the callback that closes its own port
// on the worker is the exception.
template <typename PortType>
MMRESULT EmulatedMidiDriver::ReadyToClose(Lock& lock, std::map<std::uintptr_t, PortType>& ports,
                                          std::uintptr_t key)
{
    for (;;)
    {
        const auto found = ports.find(key);
        if (found == ports.end())
            return MMSYSERR_INVALHANDLE;
        if (found->second.headersInQueue > 0)
            return MIDIERR_STILLPLAYING;
        if (OnWorker() || !IsCallingBack(key))
            return MMSYSERR_NOERROR;
        m_changed.wait(lock, [this, key] { return !IsCallingBack(key); });
    }
}

// Both directions close alike; the close notification comes during the call. An input stops
// the device's stream; an alsa output first drains its kernel buffer.
template <typename PortType>
MMRESULT EmulatedMidiDriver::ClosePort(MidiCall call, std::map<std::uintptr_t, PortType>& ports, std::uintptr_t key)
{
    constexpr bool input = std::is_same_v<PortType, InputPort>;
    Callback closed;
    {
        Lock lock(m_mutex);
        MMRESULT result;
        if (Fails(call, result))
            return result;
        result = ReadyToClose(lock, ports, key);
        if (!input && result == MMSYSERR_NOERROR && DrainOutput(lock, key))
            result = ReadyToClose(lock, ports, key);
        if (result != MMSYSERR_NOERROR)
            return result;
        PortType& port = ports.at(key);
        if constexpr (input)
        {
            if (&port == ListeningPort())
                m_device.StopStreaming();
        }
        closed = {input, key, port.callback, port.instance, input ? UINT{MIM_CLOSE} : UINT{MOM_CLOSE}, 0, 0};
        const bool callsBack = port.callsBack;
        ports.erase(key);
        m_changed.notify_all();
        if (!callsBack)
            return MMSYSERR_NOERROR;
    }
    Call(closed);
    return MMSYSERR_NOERROR;
}

// Both directions open alike; the open notification comes during the call, as with winmm.
template <typename PortType, typename Handle>
MMRESULT EmulatedMidiDriver::OpenPort(MidiCall call, std::map<std::uintptr_t, PortType>& ports,
                                      const std::vector<PortInfo>& infos, Handle* handle,
                                      UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                                      DWORD flags)
{
    const bool input = call == MidiCall::InOpen;
    Callback opened;
    {
        Lock lock(m_mutex);
        MMRESULT result;
        if (Fails(call, result))
            return result;
        if (handle == nullptr)
            return MMSYSERR_INVALPARAM;
        result = CheckOpen(deviceId, infos.size(), flags, input ? MIDI_IO_STATUS : 0);
        if (result != MMSYSERR_NOERROR)
            return result;
        for (const auto& open : ports)
        {
            if (open.second.deviceId == deviceId)
                return MMSYSERR_ALLOCATED;
        }
        const std::uintptr_t key = NewHandle();
        PortType& port = ports[key];
        if constexpr (std::is_same_v<PortType, InputPort>)
            ApplyIntake(port);
        port.deviceId = deviceId;
        if (!input)
        {
            m_openedOutputs.push_back(infos[deviceId].name);
            m_outputNumbers[key] = deviceId;
        }
        port.callback = callback;
        port.instance = instance;
        port.callsBack = (flags & CALLBACK_TYPEMASK) == CALLBACK_FUNCTION && callback != 0;
        *handle = reinterpret_cast<Handle>(key);
        opened = {input, key, callback, instance, input ? UINT{MIM_OPEN} : UINT{MOM_OPEN}, 0, 0};
        if (!port.callsBack)
            return MMSYSERR_NOERROR;
    }
    Call(opened);
    return MMSYSERR_NOERROR;
}

UINT EmulatedMidiDriver::midiInGetNumDevs()
{
    Lock lock(m_mutex);
    MMRESULT result;
    if (Fails(MidiCall::InGetNumDevs, result))
        return 0;
    return static_cast<UINT>(m_inputPorts.size());
}

MMRESULT EmulatedMidiDriver::midiInGetDevCapsA(UINT_PTR deviceId, LPMIDIINCAPSA caps, UINT size)
{
    return GetCaps(MidiCall::InGetDevCaps, m_inputPorts, deviceId, caps, size);
}

UINT EmulatedMidiDriver::midiOutGetNumDevs()
{
    Lock lock(m_mutex);
    MMRESULT result;
    if (Fails(MidiCall::OutGetNumDevs, result))
        return 0;
    return static_cast<UINT>(m_outputPorts.size());
}

MMRESULT EmulatedMidiDriver::midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps,
                                                UINT size)
{
    return GetCaps(MidiCall::OutGetDevCaps, m_outputPorts, deviceId, caps, size);
}

template <typename Caps>
MMRESULT EmulatedMidiDriver::GetCaps(MidiCall call, const std::vector<PortInfo>& ports,
                                     UINT_PTR deviceId, Caps* caps, UINT size)
{
    Lock lock(m_mutex);
    MMRESULT result;
    if (Fails(call, result))
        return result;
    if (caps == nullptr)
        return MMSYSERR_INVALPARAM;
    if (deviceId >= ports.size())
        return MMSYSERR_BADDEVICEID;
    if (ports[deviceId].capsResult != MMSYSERR_NOERROR)
        return ports[deviceId].capsResult;
    Caps full{};
    FillCaps(full, ports[deviceId].name);
    std::memcpy(caps, &full, std::min<std::size_t>(size, sizeof full));
    return MMSYSERR_NOERROR;
}

MMRESULT EmulatedMidiDriver::midiInOpen(LPHMIDIIN handle, UINT deviceId, DWORD_PTR callback,
                                        DWORD_PTR instance, DWORD flags)
{
    return OpenPort(MidiCall::InOpen, m_inputs, m_inputPorts, handle, deviceId, callback, instance, flags);
}

MMRESULT EmulatedMidiDriver::midiInClose(HMIDIIN handle)
{
    return ClosePort(MidiCall::InClose, m_inputs, Key(handle));
}

MMRESULT EmulatedMidiDriver::midiInPrepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT size)
{
    return HeaderCall(MidiCall::InPrepareHeader, Key(handle), header, size);
}

MMRESULT EmulatedMidiDriver::midiInUnprepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT size)
{
    return HeaderCall(MidiCall::InUnprepareHeader, Key(handle), header, size);
}

MMRESULT EmulatedMidiDriver::midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR callback,
                                         DWORD_PTR instance, DWORD flags)
{
    return OpenPort(MidiCall::OutOpen, m_outputs, m_outputPorts, handle, deviceId, callback, instance, flags);
}

MMRESULT EmulatedMidiDriver::midiOutClose(HMIDIOUT handle)
{
    return ClosePort(MidiCall::OutClose, m_outputs, Key(handle));
}

MMRESULT EmulatedMidiDriver::midiOutPrepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT size)
{
    return HeaderCall(MidiCall::OutPrepareHeader, Key(handle), header, size);
}

MMRESULT EmulatedMidiDriver::midiOutUnprepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT size)
{
    return HeaderCall(MidiCall::OutUnprepareHeader, Key(handle), header, size);
}

bool EmulatedMidiDriver::Fails(MidiCall call, MMRESULT& result)
{
    ++m_callCounts[Index(call)];
    Failure& failure = m_failures[Index(call)];
    if (failure.times == 0)
        return false;
    if (failure.skip > 0)
    {
        --failure.skip;
        return false;
    }
    if (failure.times > 0)
        --failure.times;
    result = failure.result;
    return true;
}

EmulatedMidiDriver::InputPort* EmulatedMidiDriver::FindInput(HMIDIIN handle)
{
    const auto found = m_inputs.find(Key(handle));
    return found == m_inputs.end() ? nullptr : &found->second;
}

EmulatedMidiDriver::Port* EmulatedMidiDriver::FindOutput(HMIDIOUT handle)
{
    const auto found = m_outputs.find(Key(handle));
    return found == m_outputs.end() ? nullptr : &found->second;
}

// Never reused within a run, and shared by both directions, so that a stale handle or one of
// the other direction is always recognised as invalid.
std::uintptr_t EmulatedMidiDriver::NewHandle()
{
    m_lastHandle += 0x10;
    return m_lastHandle;
}

MMRESULT EmulatedMidiDriver::CheckOpen(UINT deviceId, std::size_t portCount,
                                       DWORD flags, DWORD allowedFlags) const
{
    if (deviceId >= portCount)
        return MMSYSERR_BADDEVICEID;
    // Window, thread and event callbacks are not emulated: the program uses none of them.
    const DWORD callbackType = flags & CALLBACK_TYPEMASK;
    if (callbackType != CALLBACK_NULL && callbackType != CALLBACK_FUNCTION)
        return MMSYSERR_INVALFLAG;
    if ((flags & ~(CALLBACK_TYPEMASK | allowedFlags)) != 0)
        return MMSYSERR_INVALFLAG;
    return MMSYSERR_NOERROR;
}

MMRESULT EmulatedMidiDriver::HeaderCall(MidiCall call, std::uintptr_t handle, LPMIDIHDR header,
                                        UINT size)
{
    Lock lock(m_mutex);
    MMRESULT result;
    if (Fails(call, result))
        return result;
    const bool input = call == MidiCall::InPrepareHeader || call == MidiCall::InUnprepareHeader;
    if (input ? m_inputs.count(handle) == 0 : m_outputs.count(handle) == 0)
        return MMSYSERR_INVALHANDLE;
    std::set<MIDIHDR*>& prepared = input ? m_preparedIn : m_preparedOut;
    if (call == MidiCall::InPrepareHeader || call == MidiCall::OutPrepareHeader)
        return Prepare(header, size, prepared);
    return Unprepare(header, size, prepared);
}

MMRESULT EmulatedMidiDriver::Prepare(LPMIDIHDR header, UINT size,
                                     std::set<MIDIHDR*>& prepared)
{
    if (header == nullptr || size < ShortestHeaderSize || header->lpData == nullptr)
        return MMSYSERR_INVALPARAM;
    prepared.insert(header);
    if ((header->dwFlags & MHDR_PREPARED) != 0)
        return MMSYSERR_NOERROR;
    header->dwFlags = (header->dwFlags | MHDR_PREPARED) & ~(MHDR_DONE | MHDR_INQUEUE);
    return MMSYSERR_NOERROR;
}

MMRESULT EmulatedMidiDriver::Unprepare(LPMIDIHDR header, UINT size,
                                       std::set<MIDIHDR*>& prepared)
{
    if (header == nullptr || size < ShortestHeaderSize || header->lpData == nullptr)
        return MMSYSERR_INVALPARAM;
    if ((header->dwFlags & MHDR_PREPARED) == 0)
        return MMSYSERR_NOERROR;
    if ((header->dwFlags & MHDR_INQUEUE) != 0)
        return MIDIERR_STILLPLAYING;
    header->dwFlags &= ~MHDR_PREPARED;
    prepared.erase(header);
    return MMSYSERR_NOERROR;
}

MMRESULT EmulatedMidiDriver::CheckQueueable(LPMIDIHDR header, UINT size) const
{
    if (header == nullptr || size < ShortestHeaderSize || header->lpData == nullptr ||
        header->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    if ((header->dwFlags & MHDR_PREPARED) == 0)
        return MIDIERR_UNPREPARED;
    if ((header->dwFlags & MHDR_INQUEUE) != 0)
        return MIDIERR_STILLPLAYING;
    return MMSYSERR_NOERROR;
}

void EmulatedMidiDriver::Call(const Callback& callback) const
{
    if (callback.input)
        reinterpret_cast<InProc>(callback.function)(reinterpret_cast<HMIDIIN>(callback.handle),
                                                    callback.message, callback.instance,
                                                    callback.param1, callback.param2);
    else
        reinterpret_cast<OutProc>(callback.function)(reinterpret_cast<HMIDIOUT>(callback.handle),
                                                     callback.message, callback.instance,
                                                     callback.param1, callback.param2);
}

bool EmulatedMidiDriver::IsCallingBack(std::uintptr_t handle) const
{
    return std::any_of(m_calling.begin(), m_calling.end(),
                       [handle](const Delivery& d) { return d.handle == handle; });
}
