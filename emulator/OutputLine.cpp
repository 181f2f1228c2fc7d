#include "emulator/OutputLine.h"

#include "protocol/SysExMessages.h"

#include <algorithm>
#include <cstring>

namespace
{
// The kernel's sequencer bridge writes a System Exclusive event into the port's buffer in
// pieces of this size, and gives up on the event at the first piece that does not fit.
constexpr std::size_t KernelChunk = 32;
}

void OutputLine::SetBehaviour(Behaviour behaviour)
{
    m_behaviour = behaviour;
}

void OutputLine::SetKernelBufferSize(std::size_t bytes)
{
    m_kernelBufferSize = bytes;
}

void OutputLine::SetStallFrom(std::size_t messages)
{
    m_stallFrom = messages;
}

std::size_t OutputLine::DroppedBytes() const
{
    return m_dropped;
}

const std::vector<OutputLine::TransferRecord>& OutputLine::Transfers() const
{
    return m_record;
}

OutputLine::Completion OutputLine::Accept(const Message& message, const std::uint8_t* bytes,
                                          std::size_t size, Clock::time_point now,
                                          Clock::duration perByte)
{
    switch (m_behaviour)
    {
    case Behaviour::Alsa:
        Transmit(IntoKernelBuffer(bytes, size, now), message, false, now, perByte);
        return Completion::OnCallersThread;
    case Behaviour::Queued:
        Transmit({bytes, bytes + size}, message, false, now, perByte);
        return Completion::Now;
    case Behaviour::Stalled:
        // Once one message is stuck, the ones after it wait behind it.
        if (!m_stalled.empty() || m_stallFrom == 0)
        {
            m_stalled.push_back(message);
            return Completion::Later;
        }
        --m_stallFrom;
        break;
    case Behaviour::Cable:
        break;
    }
    Transmit({bytes, bytes + size}, message, true, now, perByte);
    return Completion::Later;
}

// Wine puts an F0 before a buffer that does not start with one and an F7 after one that does
// not end with one, so every buffer goes out as a System Exclusive message of its own.
std::vector<std::uint8_t> OutputLine::IntoKernelBuffer(const std::uint8_t* bytes,
                                                       std::size_t size, Clock::time_point now)
{
    std::vector<std::uint8_t> event;
    if (bytes[0] != SysEx::Start)
        event.push_back(SysEx::Start);
    event.insert(event.end(), bytes, bytes + size);
    if (bytes[size - 1] != SysEx::End)
        event.push_back(SysEx::End);

    std::size_t held = 0;
    for (const Transfer& transfer : m_line)
        held += transfer.bytes.size() - transfer.SentBy(now);
    const std::size_t space = m_kernelBufferSize > held ? m_kernelBufferSize - held : 0;
    std::size_t written = 0;
    while (written < event.size())
    {
        const std::size_t chunk = std::min(KernelChunk, event.size() - written);
        if (written + chunk > space)
            break;
        written += chunk;
    }
    m_dropped += event.size() - written;
    event.resize(written);
    return event;
}

void OutputLine::Transmit(std::vector<std::uint8_t> bytes, const Message& message,
                          bool completes, Clock::time_point now, Clock::duration perByte)
{
    if (bytes.empty())
        return;
    Transfer transfer;
    transfer.message = message;
    transfer.completes = completes;
    transfer.startsAt = std::max(now, m_lineFree);
    transfer.endsAt = transfer.startsAt + perByte * static_cast<Clock::rep>(bytes.size());
    transfer.bytes = std::move(bytes);
    m_lineFree = transfer.endsAt;
    m_record.push_back({transfer.startsAt, transfer.endsAt, transfer.bytes.size()});
    m_line.push_back(std::move(transfer));
}

OutputLine::Clock::time_point OutputLine::Advance(
    Clock::time_point now, std::vector<std::vector<std::uint8_t>>& arrived,
    std::vector<Message>& completed)
{
    while (!m_line.empty() && m_line.front().endsAt <= now)
    {
        Transfer& transfer = m_line.front();
        arrived.push_back(std::move(transfer.bytes));
        if (transfer.completes)
            completed.push_back(transfer.message);
        m_line.pop_front();
    }
    return m_line.empty() ? Clock::time_point::max() : m_line.front().endsAt;
}

void OutputLine::Reset(std::uintptr_t handle, Clock::time_point now,
                       std::vector<std::vector<std::uint8_t>>& arrived,
                       std::vector<Message>& completed)
{
    for (auto transfer = m_line.begin(); transfer != m_line.end();)
    {
        if (transfer->message.handle != handle || !transfer->completes)
        {
            ++transfer;
            continue;
        }
        const std::size_t sent = transfer->SentBy(now);
        arrived.emplace_back(transfer->bytes.begin(),
                             transfer->bytes.begin() + static_cast<std::ptrdiff_t>(sent));
        completed.push_back(transfer->message);
        transfer = m_line.erase(transfer);
    }
    for (auto stalled = m_stalled.begin(); stalled != m_stalled.end();)
    {
        if (stalled->handle != handle)
        {
            ++stalled;
            continue;
        }
        completed.push_back(*stalled);
        stalled = m_stalled.erase(stalled);
    }
    if (m_line.empty())
        m_lineFree = now;
}

bool OutputLine::IsIdle() const
{
    return m_line.empty() && m_stalled.empty();
}

std::size_t OutputLine::Transfer::SentBy(Clock::time_point now) const
{
    if (now >= endsAt)
        return bytes.size();
    if (now <= startsAt)
        return 0;
    return static_cast<std::size_t>(static_cast<Clock::rep>(bytes.size()) * (now - startsAt) /
                                    (endsAt - startsAt));
}

bool ParseLine(const char* name, OutputLine::Behaviour& line)
{
    static const struct
    {
        const char* name;
        OutputLine::Behaviour line;
    } names[] = {{"cable", OutputLine::Behaviour::Cable},
                 {"alsa", OutputLine::Behaviour::Alsa},
                 {"queued", OutputLine::Behaviour::Queued},
                 {"stalled", OutputLine::Behaviour::Stalled}};
    for (const auto& entry : names)
    {
        if (name != nullptr && std::strcmp(name, entry.name) == 0)
        {
            line = entry.line;
            return true;
        }
    }
    return false;
}
