// The emulated driver's output ports: messages handed to the line (see OutputLine, which
// says how bytes leave and when they are done), and the device acting on what arrives.
#include "emulator/EmulatedMidiDriver.h"

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
    if (m_outputLine.AcceptShort(Key(handle), message, Clock::now(), PerByte()) && ReachesDevice(Key(handle)))
        m_device.ReceiveShortMessage(message);
    m_wake.notify_one();
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
    std::vector<OutputLine::Arrival> arrived;
    std::vector<OutputLine::Message> completed;
    m_outputLine.Reset(Key(handle), now, arrived, completed);
    TakeFromLine(arrived, completed, now);
    m_wake.notify_one();
    DeliverUpTo(lock, m_nextSequence - 1);
    return MMSYSERR_NOERROR;
}

bool EmulatedMidiDriver::ReachesDevice(std::uintptr_t output) const
{
    const auto port = m_outputNumbers.find(output);
    return m_deviceOutput < 0 || (port != m_outputNumbers.end() && static_cast<int>(port->second) == m_deviceOutput);
}

// Wine deletes its sequencer port on close, and the kernel first drains what the port's buffer
// holds, for up to ten seconds; what is left then is dropped. True if it waited.
bool EmulatedMidiDriver::DrainOutput(Lock& lock, std::uintptr_t key)
{
    if (!m_outputLine.DrainsOnClose() || !m_outputLine.Holds(key) || OnWorker())
        return false;
    if (!m_changed.wait_for(lock, DrainLimit, [&] { return !m_outputLine.Holds(key); }))
    {
        const Clock::time_point now = Clock::now();
        std::vector<OutputLine::Arrival> arrived;
        m_outputLine.Drop(key, now, arrived);
        TakeFromLine(arrived, {}, now);
        m_wake.notify_one();
    }
    return true;
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
void EmulatedMidiDriver::TakeFromLine(const std::vector<OutputLine::Arrival>& arrived,
                                      const std::vector<OutputLine::Message>& completed,
                                      Clock::time_point now)
{
    for (const auto& arrival : arrived)
    {
        if (!ReachesDevice(arrival.handle))
            continue;
        if (arrival.isShort)
            m_device.ReceiveShortMessage(arrival.shortMessage);
        else if (!arrival.bytes.empty())
            Transmit(m_device.Receive(arrival.bytes.data(), arrival.bytes.size()), now);
    }
    for (const auto& message : completed)
        QueueDone(message);
}
