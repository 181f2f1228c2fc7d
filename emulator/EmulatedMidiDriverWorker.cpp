// The emulated driver's own thread: it moves the lines on at their pace and makes the
// callbacks, one at a time and in order, without the driver's lock held.
#include "emulator/EmulatedMidiDriver.h"

#include <algorithm>

namespace
{
// 31,250 baud with ten bits a byte.
constexpr std::chrono::microseconds WireTimePerByte(320);

constexpr auto FinalStretch = std::chrono::milliseconds(3);
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
    std::vector<OutputLine::Arrival> arrived;
    std::vector<OutputLine::Message> completed;
    Clock::time_point next = m_outputLine.Advance(now, arrived, completed);
    TakeFromLine(arrived, completed, now);
    return std::min(next, AdvanceInputs(now));
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
