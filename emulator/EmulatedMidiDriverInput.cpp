// The emulated driver's input ports: the buffers the program queues, starting and resetting
// input, and what the device sends on its way into the buffers (see EmulatedInputPort).
#include "emulator/EmulatedMidiDriver.h"

#include <algorithm>

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
    port->line.AddBuffer(header, Clock::now());
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

void EmulatedMidiDriver::ApplyIntake(InputPort& port)
{
    using Intake = EmulatedInputPort::Intake;
    port.line.SetIntake(m_line == Line::Alsa      ? Intake::Dropping
                        : m_line == Line::Midisrv ? Intake::Service
                                                  : Intake::Holding,
                        &m_droppedInput);
}

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

// The device's cable ends at one input port; when it is not open, what it sends is lost.
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
    for (auto& [handle, port] : m_inputs)
        if (m_deviceInput < 0 || static_cast<int>(port.deviceId) == m_deviceInput)
            return &port;
    return nullptr;
}

// Buffers fill with what has arrived by `now`; returns when the next one falls due.
EmulatedMidiDriver::Clock::time_point EmulatedMidiDriver::AdvanceInputs(Clock::time_point now)
{
    Clock::time_point next = Clock::time_point::max();
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
