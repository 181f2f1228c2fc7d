#include "emulator/EmulatedMidiDriver.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <type_traits>

namespace
{
// 31,250 baud with ten bits a byte.
constexpr std::chrono::microseconds WireTimePerByte(320);

// Headers from before dwOffset existed are still valid, as with winmm.
constexpr std::size_t ShortestHeaderSize = offsetof(MIDIHDR, dwOffset);

using InProc = void(CALLBACK*)(HMIDIIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);
using OutProc = void(CALLBACK*)(HMIDIOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

std::uintptr_t Key(const void* handle)
{
    return reinterpret_cast<std::uintptr_t>(handle);
}

std::size_t Index(MidiCall call)
{
    return static_cast<std::size_t>(call);
}

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
            port.line.DropWithoutBuffer(m_line == Line::Alsa ? &m_droppedInput : nullptr);
        port.deviceId = deviceId;
        if (!input)
            m_openedOutputs.push_back(infos[deviceId].name);
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

EmulatedMidiDriver::EmulatedMidiDriver(EmulatedDevice& device)
    : m_device(device),
      m_inputPorts{{"Emulated device", MMSYSERR_NOERROR}},
      m_outputPorts{{"Emulated device", MMSYSERR_NOERROR}},
      m_lastHandle(0x4D1D0000)
{
    m_worker = std::thread([this] { Run(); });
}

EmulatedMidiDriver::~EmulatedMidiDriver()
{
    {
        Lock lock(m_mutex);
        m_stopping = true;
        m_wake.notify_one();
    }
    m_worker.join();
}

// --- Enumeration -----------------------------------------------------------------------------

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

// --- Input -----------------------------------------------------------------------------------

MMRESULT EmulatedMidiDriver::midiInOpen(LPHMIDIIN handle, UINT deviceId, DWORD_PTR callback,
                                        DWORD_PTR instance, DWORD flags)
{
    return OpenPort(MidiCall::InOpen, m_inputs, m_inputPorts, handle, deviceId, callback, instance, flags);
}

MMRESULT EmulatedMidiDriver::midiInClose(HMIDIIN handle)
{
    Callback closed;
    {
        Lock lock(m_mutex);
        MMRESULT result;
        if (Fails(MidiCall::InClose, result))
            return result;
        const std::uintptr_t key = Key(handle);
        result = ReadyToClose(lock, m_inputs, key);
        if (result != MMSYSERR_NOERROR)
            return result;
        InputPort* port = &m_inputs.at(key);
        if (port == ListeningPort())
            m_device.StopStreaming();
        closed = {true, key, port->callback, port->instance, MIM_CLOSE, 0, 0};
        const bool callsBack = port->callsBack;
        m_inputs.erase(key);
        m_changed.notify_all();
        if (!callsBack)
            return MMSYSERR_NOERROR;
    }
    Call(closed);
    return MMSYSERR_NOERROR;
}

MMRESULT EmulatedMidiDriver::midiInPrepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT size)
{
    return HeaderCall(MidiCall::InPrepareHeader, Key(handle), header, size);
}

MMRESULT EmulatedMidiDriver::midiInUnprepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT size)
{
    return HeaderCall(MidiCall::InUnprepareHeader, Key(handle), header, size);
}

MMRESULT EmulatedMidiDriver::midiInAddBuffer(HMIDIIN handle, LPMIDIHDR header, UINT size)
{
    Lock lock(m_mutex);
    MMRESULT result;
    if (Fails(MidiCall::InAddBuffer, result))
        return result;
    InputPort* port = FindInput(handle);
    if (port == nullptr)
        return MMSYSERR_INVALHANDLE;
    result = CheckQueueable(header, size);
    if (result != MMSYSERR_NOERROR)
        return result;
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    header->dwBytesRecorded = 0;
    port->line.AddBuffer(header);
    ++port->headersInQueue;
    m_wake.notify_one();
    return MMSYSERR_NOERROR;
}

MMRESULT EmulatedMidiDriver::midiInStart(HMIDIIN handle)
{
    Lock lock(m_mutex);
    MMRESULT result;
    if (Fails(MidiCall::InStart, result))
        return result;
    InputPort* port = FindInput(handle);
    if (port == nullptr)
        return MMSYSERR_INVALHANDLE;
    port->line.Start(Clock::now());
    m_wake.notify_one();
    return MMSYSERR_NOERROR;
}

MMRESULT EmulatedMidiDriver::midiInReset(HMIDIIN handle)
{
    Lock lock(m_mutex);
    MMRESULT result;
    if (Fails(MidiCall::InReset, result))
        return result;
    InputPort* port = FindInput(handle);
    if (port == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (port == ListeningPort())
        m_device.StopStreaming();
    // Blocks complete by now go back first, as they would have without the reset.
    const Clock::time_point now = Clock::now();
    std::vector<EmulatedInputPort::HandBack> handBacks;
    port->line.Fill(now, m_blockLimits, handBacks);
    port->line.Reset(now, handBacks);
    QueueHandBacks(Key(handle), handBacks);
    m_wake.notify_one();
    DeliverUpTo(lock, m_nextSequence - 1);
    return MMSYSERR_NOERROR;
}

// --- Output ----------------------------------------------------------------------------------

MMRESULT EmulatedMidiDriver::midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR callback,
                                         DWORD_PTR instance, DWORD flags)
{
    return OpenPort(MidiCall::OutOpen, m_outputs, m_outputPorts, handle, deviceId, callback, instance, flags);
}

MMRESULT EmulatedMidiDriver::midiOutClose(HMIDIOUT handle)
{
    Callback closed;
    {
        Lock lock(m_mutex);
        MMRESULT result;
        if (Fails(MidiCall::OutClose, result))
            return result;
        const std::uintptr_t key = Key(handle);
        result = ReadyToClose(lock, m_outputs, key);
        if (result != MMSYSERR_NOERROR)
            return result;
        const Port* port = &m_outputs.at(key);
        closed = {false, key, port->callback, port->instance, MOM_CLOSE, 0, 0};
        const bool callsBack = port->callsBack;
        m_outputs.erase(key);
        m_changed.notify_all();
        if (!callsBack)
            return MMSYSERR_NOERROR;
    }
    Call(closed);
    return MMSYSERR_NOERROR;
}

MMRESULT EmulatedMidiDriver::midiOutPrepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT size)
{
    return HeaderCall(MidiCall::OutPrepareHeader, Key(handle), header, size);
}

MMRESULT EmulatedMidiDriver::midiOutUnprepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT size)
{
    return HeaderCall(MidiCall::OutUnprepareHeader, Key(handle), header, size);
}

MMRESULT EmulatedMidiDriver::midiOutLongMsg(HMIDIOUT handle, LPMIDIHDR header, UINT size)
{
    Lock lock(m_mutex);
    MMRESULT result;
    if (Fails(MidiCall::OutLongMsg, result))
        return result;
    Port* port = FindOutput(handle);
    if (port == nullptr)
        return MMSYSERR_INVALHANDLE;
    result = CheckQueueable(header, size);
    if (result != MMSYSERR_NOERROR)
        return result;

    const Clock::time_point now = Clock::now();
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(header->lpData);
    m_longMessages.push_back({{bytes, bytes + header->dwBufferLength}, now, {}, false});
    const OutputLine::Message message{Key(handle), header, m_longMessages.size() - 1};
    const OutputLine::Completion completion =
        m_outputLine.Accept(message, bytes, header->dwBufferLength, now, PerByte());
    m_wake.notify_one();
    if (completion != OutputLine::Completion::OnCallersThread)
    {
        ++port->headersInQueue;
        if (completion == OutputLine::Completion::Now)
            QueueDone(message);
        return MMSYSERR_NOERROR;
    }
    header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    m_longMessages.back().done = now;
    m_longMessages.back().isDone = true;
    const Callback done{false, message.handle, port->callback, port->instance, MOM_DONE,
                        reinterpret_cast<DWORD_PTR>(header), 0};
    const bool callsBack = port->callsBack;
    lock.unlock();
    if (callsBack)
        Call(done);
    return MMSYSERR_NOERROR;
}

MMRESULT EmulatedMidiDriver::midiOutShortMsg(HMIDIOUT handle, DWORD message)
{
    Lock lock(m_mutex);
    MMRESULT result;
    if (Fails(MidiCall::OutShortMsg, result))
        return result;
    if (FindOutput(handle) == nullptr)
        return MMSYSERR_INVALHANDLE;
    m_shortMessages.push_back(message);
    m_device.ReceiveShortMessage(message);
    return MMSYSERR_NOERROR;
}

MMRESULT EmulatedMidiDriver::midiOutReset(HMIDIOUT handle)
{
    Lock lock(m_mutex);
    MMRESULT result;
    if (Fails(MidiCall::OutReset, result))
        return result;
    if (FindOutput(handle) == nullptr)
        return MMSYSERR_INVALHANDLE;
    // No notes are sounding on the device, so the note-offs a reset also sends are left out:
    // they would only clutter the device's record of short messages.
    const Clock::time_point now = Clock::now();
    std::vector<std::vector<std::uint8_t>> arrived;
    std::vector<OutputLine::Message> completed;
    m_outputLine.Reset(Key(handle), now, arrived, completed);
    TakeFromLine(arrived, completed, now);
    m_wake.notify_one();
    DeliverUpTo(lock, m_nextSequence - 1);
    return MMSYSERR_NOERROR;
}

// --- Set-up, injection and inspection --------------------------------------------------------

void EmulatedMidiDriver::SetInputPorts(std::vector<PortInfo> ports)
{
    Lock lock(m_mutex);
    m_inputPorts = std::move(ports);
}

void EmulatedMidiDriver::SetOutputPorts(std::vector<PortInfo> ports)
{
    Lock lock(m_mutex);
    m_outputPorts = std::move(ports);
}

std::vector<std::string> EmulatedMidiDriver::OpenedOutputPorts() const
{
    Lock lock(m_mutex);
    return m_openedOutputs;
}

void EmulatedMidiDriver::SetPace(Pace pace)
{
    Lock lock(m_mutex);
    m_pace = pace;
}

void EmulatedMidiDriver::SetLine(Line line)
{
    Lock lock(m_mutex);
    m_line = line;
    m_outputLine.SetBehaviour(line);
    for (auto& input : m_inputs)
        input.second.line.DropWithoutBuffer(line == Line::Alsa ? &m_droppedInput : nullptr);
}

void EmulatedMidiDriver::SetKernelBufferSize(std::size_t bytes)
{
    Lock lock(m_mutex);
    m_outputLine.SetKernelBufferSize(bytes);
}

void EmulatedMidiDriver::SetStallFrom(std::size_t messages)
{
    Lock lock(m_mutex);
    m_outputLine.SetStallFrom(messages);
}

void EmulatedMidiDriver::SetBlockLimit(std::size_t limit)
{
    SetBlockSizeGenerator([limit] { return limit; });
}

void EmulatedMidiDriver::SetBlockSizes(std::vector<std::size_t> sizes)
{
    auto remaining = std::make_shared<std::deque<std::size_t>>(sizes.begin(), sizes.end());
    SetBlockSizeGenerator([remaining]() -> std::size_t {
        if (remaining->empty())
            return 0;
        const std::size_t next = remaining->front();
        remaining->pop_front();
        return next;
    });
}

void EmulatedMidiDriver::SetBlockSizeGenerator(std::function<std::size_t()> generator)
{
    Lock lock(m_mutex);
    m_blockLimits = std::move(generator);
}

void EmulatedMidiDriver::FailCall(MidiCall call, MMRESULT result, int skip, int times)
{
    Lock lock(m_mutex);
    m_failures[Index(call)] = {result, skip, times};
}

void EmulatedMidiDriver::ClearFailures()
{
    Lock lock(m_mutex);
    m_failures.fill({});
}

void EmulatedMidiDriver::InjectInput(std::vector<std::uint8_t> bytes)
{
    Lock lock(m_mutex);
    Transmit({{std::move(bytes), false}}, Clock::now());
    m_wake.notify_one();
}

void EmulatedMidiDriver::OverstateNextBlock(DWORD extra)
{
    Lock lock(m_mutex);
    m_overstatement = extra;
}

void EmulatedMidiDriver::InjectLongError()
{
    Lock lock(m_mutex);
    m_longErrorPending = true;
    m_wake.notify_one();
}

int EmulatedMidiDriver::OpenInputPortCount() const
{
    Lock lock(m_mutex);
    return static_cast<int>(m_inputs.size());
}

int EmulatedMidiDriver::OpenOutputPortCount() const
{
    Lock lock(m_mutex);
    return static_cast<int>(m_outputs.size());
}

int EmulatedMidiDriver::PreparedInputHeaderCount() const
{
    Lock lock(m_mutex);
    return static_cast<int>(m_preparedIn.size());
}

int EmulatedMidiDriver::PreparedOutputHeaderCount() const
{
    Lock lock(m_mutex);
    return static_cast<int>(m_preparedOut.size());
}

int EmulatedMidiDriver::PreparedHeaderCount() const
{
    Lock lock(m_mutex);
    return static_cast<int>(m_preparedIn.size() + m_preparedOut.size());
}

std::vector<EmulatedMidiDriver::LongMessage> EmulatedMidiDriver::LongMessages() const
{
    Lock lock(m_mutex);
    return m_longMessages;
}

std::vector<DWORD> EmulatedMidiDriver::ShortMessages() const
{
    Lock lock(m_mutex);
    return m_shortMessages;
}

std::size_t EmulatedMidiDriver::DroppedOutputBytes() const
{
    Lock lock(m_mutex);
    return m_outputLine.DroppedBytes();
}

std::vector<OutputLine::TransferRecord> EmulatedMidiDriver::LineTransfers() const
{
    Lock lock(m_mutex);
    return m_outputLine.Transfers();
}

std::size_t EmulatedMidiDriver::DroppedInputBytes() const
{
    Lock lock(m_mutex);
    return m_droppedInput;
}

std::size_t EmulatedMidiDriver::HeldInputBytes() const
{
    Lock lock(m_mutex);
    std::size_t held = 0;
    for (const auto& entry : m_inputs)
        held += entry.second.line.ArrivedBy(Clock::now());
    return held;
}

int EmulatedMidiDriver::CallCount(MidiCall call) const
{
    Lock lock(m_mutex);
    return m_callCounts[Index(call)];
}

bool EmulatedMidiDriver::WaitUntilIdle(Clock::time_point deadline) const
{
    Lock lock(m_mutex);
    return m_changed.wait_until(lock, deadline, [this] { return IsIdle(); });
}

bool EmulatedMidiDriver::WaitUntilIdle(std::chrono::milliseconds timeout) const
{
    return WaitUntilIdle(Clock::now() + timeout);
}

void EmulatedMidiDriver::WithDevice(const std::function<void(EmulatedDevice&)>& action)
{
    Lock lock(m_mutex);
    action(m_device);
    m_wake.notify_one();
}

// --- Contract helpers ------------------------------------------------------------------------

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

// --- Worker and delivery ---------------------------------------------------------------------

void EmulatedMidiDriver::QueueHandBacks(std::uintptr_t handle,
                                        const std::vector<EmulatedInputPort::HandBack>& handBacks)
{
    for (const auto& handBack : handBacks)
    {
        Delivery delivery;
        delivery.sequence = m_nextSequence++;
        delivery.input = true;
        delivery.handle = handle;
        delivery.header = handBack.header;
        delivery.message = handBack.message;
        delivery.param2 = handBack.timestamp;
        m_deliveries.push_back(delivery);
    }
}

void EmulatedMidiDriver::QueueDone(const OutputLine::Message& message)
{
    Delivery delivery;
    delivery.sequence = m_nextSequence++;
    delivery.input = false;
    delivery.handle = message.handle;
    delivery.header = message.header;
    delivery.message = MOM_DONE;
    delivery.record = message.record;
    m_deliveries.push_back(delivery);
}

// The device acts on what has left the line, and its answers go to the input.
void EmulatedMidiDriver::TakeFromLine(const std::vector<std::vector<std::uint8_t>>& arrived,
                                      const std::vector<OutputLine::Message>& completed,
                                      Clock::time_point now)
{
    for (const auto& bytes : arrived)
        Transmit(m_device.Receive(bytes.data(), bytes.size()), now);
    for (const auto& message : completed)
        QueueDone(message);
}

// The device's cable ends at one input port; with none open, what it sends is lost.
void EmulatedMidiDriver::Transmit(const std::vector<EmulatedDevice::Transmission>& transmissions,
                                  Clock::time_point now)
{
    InputPort* port = ListeningPort();
    if (port == nullptr)
        return;
    for (const auto& transmission : transmissions)
        port->line.Send(transmission.bytes, transmission.malformed, now, PerByte());
}

EmulatedMidiDriver::InputPort* EmulatedMidiDriver::ListeningPort()
{
    return m_inputs.empty() ? nullptr : &m_inputs.begin()->second;
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

// On the worker (a reset called from a callback) the deliveries are made right here, nested;
// elsewhere the caller waits for the worker to make them.
void EmulatedMidiDriver::DeliverUpTo(Lock& lock, std::uint64_t sequence)
{
    if (OnWorker())
    {
        while (!m_deliveries.empty() && m_deliveries.front().sequence <= sequence)
            DeliverNext(lock);
        return;
    }
    m_changed.wait(lock, [this, sequence] { return DeliveredUpTo(sequence); });
}

bool EmulatedMidiDriver::DeliveredUpTo(std::uint64_t sequence) const
{
    if (!m_deliveries.empty() && m_deliveries.front().sequence <= sequence)
        return false;
    return std::none_of(m_calling.begin(), m_calling.end(),
                        [sequence](const Delivery& d) { return d.sequence <= sequence; });
}

// The header leaves the queue only now, just before its callback, so that a port cannot be
// closed between a buffer's completion and its callback.
void EmulatedMidiDriver::DeliverNext(Lock& lock)
{
    const Delivery delivery = m_deliveries.front();
    m_deliveries.pop_front();

    Callback callback;
    bool calls = false;
    Port* port = delivery.input ? static_cast<Port*>(FindInput(reinterpret_cast<HMIDIIN>(delivery.handle)))
                                : FindOutput(reinterpret_cast<HMIDIOUT>(delivery.handle));
    if (port != nullptr)
    {
        --port->headersInQueue;
        delivery.header->dwFlags = (delivery.header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
        if (!delivery.input)
        {
            m_longMessages[delivery.record].done = Clock::now();
            m_longMessages[delivery.record].isDone = true;
        }
        else if (delivery.message == MIM_LONGDATA && delivery.header->dwBytesRecorded > 0)
        {
            delivery.header->dwBytesRecorded += m_overstatement;
            m_overstatement = 0;
        }
        calls = port->callsBack;
        callback = {delivery.input, delivery.handle, port->callback, port->instance,
                    delivery.message, reinterpret_cast<DWORD_PTR>(delivery.header),
                    delivery.param2};
    }

    m_calling.push_back(delivery);
    lock.unlock();
    if (calls)
        Call(callback);
    lock.lock();
    m_calling.erase(std::find_if(m_calling.begin(), m_calling.end(), [&](const Delivery& d) {
        return d.sequence == delivery.sequence;
    }));
    m_changed.notify_all();
}

EmulatedMidiDriver::Clock::duration EmulatedMidiDriver::PerByte() const
{
    return m_pace == Pace::WireRate ? Clock::duration(WireTimePerByte) : Clock::duration::zero();
}

bool EmulatedMidiDriver::OnWorker() const
{
    return std::this_thread::get_id() == m_workerId;
}

namespace
{
constexpr auto FinalStretch = std::chrono::milliseconds(3);
}

void EmulatedMidiDriver::Run()
{
    Lock lock(m_mutex);
    m_workerId = std::this_thread::get_id();
    while (!m_stopping)
    {
        const Clock::time_point next = Advance(Clock::now());
        if (!m_deliveries.empty())
        {
            DeliverNext(lock);
            continue;
        }
        m_changed.notify_all();
        if (next == Clock::time_point::max())
        {
            m_wake.wait(lock);
        }
        else if (next - Clock::now() > FinalStretch)
        {
            m_wake.wait_until(lock, next - FinalStretch);
        }
        else
        {
            // Timed waits wake a millisecond or two late; the last stretch is waited out by
            // yielding, so that completions keep the wire's own pace.
            lock.unlock();
            std::this_thread::yield();
            lock.lock();
        }
    }
}

// Moves everything that is due by `now`: sent messages reach the device, arrived bytes fill
// buffers. Returns when the next thing falls due.
EmulatedMidiDriver::Clock::time_point EmulatedMidiDriver::Advance(Clock::time_point now)
{
    std::vector<std::vector<std::uint8_t>> arrived;
    std::vector<OutputLine::Message> completed;
    Clock::time_point next = m_outputLine.Advance(now, arrived, completed);
    TakeFromLine(arrived, completed, now);

    for (auto& entry : m_inputs)
    {
        InputPort& port = entry.second;
        std::vector<EmulatedInputPort::HandBack> handBacks;
        if (m_longErrorPending && port.line.IsStarted() &&
            port.line.HandBackFirst(MIM_LONGERROR, now, handBacks))
            m_longErrorPending = false;
        // An endless stream is drawn one message at a time, only while buffers take it.
        const bool listening = &port == ListeningPort();
        const auto wantsMore = [&] {
            return listening && m_device.IsStreaming() && port.line.IsStarted() &&
                   !port.line.HasPendingBytes() && port.line.QueuedBuffers() > 0;
        };
        for (;;)
        {
            if (wantsMore())
            {
                EmulatedDevice::Transmission message = m_device.NextStreamedMessage();
                port.line.Send(std::move(message.bytes), message.malformed, now, PerByte());
            }
            const Clock::time_point due = port.line.Fill(now, m_blockLimits, handBacks);
            next = std::min(next, due);
            if (due != Clock::time_point::max() || !wantsMore())
                break;
        }
        QueueHandBacks(entry.first, handBacks);
    }
    return next;
}

bool EmulatedMidiDriver::IsIdle() const
{
    if (!m_outputLine.IsIdle() || !m_deliveries.empty() || !m_calling.empty())
        return false;
    for (const auto& entry : m_inputs)
    {
        const EmulatedInputPort& line = entry.second.line;
        if (line.DropsWithoutBuffer() && line.HasPendingBytes())
            return false;
        if (!line.IsStarted() || line.QueuedBuffers() == 0)
            continue;
        const bool streaming = &entry.second == &m_inputs.begin()->second && m_device.IsStreaming();
        if (line.HasPendingBytes() || streaming || m_longErrorPending)
            return false;
    }
    return true;
}
