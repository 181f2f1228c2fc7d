#include "emulator/OutputLine.h"

#include "protocol/SysExMessages.h"

#include <algorithm>
#include <cstring>

namespace
{
// The kernel's sequencer bridge writes a System Exclusive event into the port's buffer in
// pieces of this size, and gives up on the event at the first piece that does not fit.
constexpr std::size_t KernelChunk = 32;

// A short message's bytes on the wire, by its status byte.
std::vector<std::uint8_t> ShortMessageBytes(DWORD message)
{
    const auto status = static_cast<std::uint8_t>(message & 0xFF);
    std::size_t length = 1;
    if ((status >= 0x80 && status < 0xC0) || (status >= 0xE0 && status < 0xF0) || status == 0xF2)
        length = 3;
    else if ((status >= 0xC0 && status < 0xE0) || status == 0xF1 || status == 0xF3)
        length = 2;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < length; ++i)
        bytes.push_back(static_cast<std::uint8_t>(message >> (8 * i)));
    return bytes;
}
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
    case Behaviour::Midisrv:
        Transmit({bytes, bytes + size}, message, false, now, perByte);
        return Completion::OnCallersThread;
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

bool OutputLine::AcceptShort(std::uintptr_t handle, DWORD message, Clock::time_point now,
                             Clock::duration perByte)
{
    if (m_behaviour != Behaviour::Alsa && m_behaviour != Behaviour::Midisrv)
        return true;
    std::vector<std::uint8_t> bytes = ShortMessageBytes(message);
    // The kernel writes a short message whole or not at all.
    if (m_behaviour == Behaviour::Alsa && bytes.size() > KernelBufferSpace(now))
    {
        m_dropped += bytes.size();
        return false;
    }
    Transfer* transfer = Transmit(std::move(bytes), Message{handle, nullptr, 0}, false, now, perByte);
    transfer->isShort = true;
    transfer->shortMessage = message;
    return false;
}

std::size_t OutputLine::KernelBufferSpace(Clock::time_point now) const
{
    std::size_t held = 0;
    for (const Transfer& transfer : m_line)
        held += transfer.bytes.size() - transfer.SentBy(now);
    return m_kernelBufferSize > held ? m_kernelBufferSize - held : 0;
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

    const std::size_t space = KernelBufferSpace(now);
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

OutputLine::Transfer* OutputLine::Transmit(std::vector<std::uint8_t> bytes, const Message& message,
                                           bool completes, Clock::time_point now, Clock::duration perByte)
{
    if (bytes.empty())
        return nullptr;
    Transfer transfer;
    transfer.message = message;
    transfer.completes = completes;
    transfer.startsAt = std::max(now, m_lineFree);
    transfer.endsAt = transfer.startsAt + perByte * static_cast<Clock::rep>(bytes.size());
    transfer.bytes = std::move(bytes);
    m_lineFree = transfer.endsAt;
    m_record.push_back({transfer.startsAt, transfer.endsAt, transfer.bytes.size()});
    m_line.push_back(std::move(transfer));
    return &m_line.back();
}

OutputLine::Clock::time_point OutputLine::Advance(Clock::time_point now, std::vector<Arrival>& arrived,
                                                  std::vector<Message>& completed)
{
    while (!m_line.empty() && m_line.front().endsAt <= now)
    {
        Transfer& transfer = m_line.front();
        arrived.push_back({std::move(transfer.bytes), transfer.isShort, transfer.shortMessage, transfer.message.handle});
        if (transfer.completes)
            completed.push_back(transfer.message);
        m_line.pop_front();
    }
    return m_line.empty() ? Clock::time_point::max() : m_line.front().endsAt;
}

bool OutputLine::DrainsOnClose() const
{
    return m_behaviour == Behaviour::Alsa;
}

bool OutputLine::Holds(std::uintptr_t handle) const
{
    return std::any_of(m_line.begin(), m_line.end(),
                       [handle](const Transfer& transfer) { return transfer.message.handle == handle; });
}

void OutputLine::Drop(std::uintptr_t handle, Clock::time_point now, std::vector<Arrival>& arrived)
{
    for (auto transfer = m_line.begin(); transfer != m_line.end();)
    {
        if (transfer->message.handle != handle)
        {
            ++transfer;
            continue;
        }
        const std::size_t sent = transfer->SentBy(now);
        m_dropped += transfer->bytes.size() - sent;
        if (sent > 0)
            arrived.push_back(Cut(*transfer, sent));
        transfer = m_line.erase(transfer);
    }
    if (m_line.empty())
        m_lineFree = now;
}

// What of a transfer has left by the time it is cut; a short message arrives whole or not.
OutputLine::Arrival OutputLine::Cut(const Transfer& transfer, std::size_t sent)
{
    if (transfer.isShort)
        return sent == transfer.bytes.size() ? Arrival{transfer.bytes, true, transfer.shortMessage, transfer.message.handle}
                                             : Arrival{};
    return {{transfer.bytes.begin(), transfer.bytes.begin() + static_cast<std::ptrdiff_t>(sent)},
            false,
            0,
            transfer.message.handle};
}

void OutputLine::Reset(std::uintptr_t handle, Clock::time_point now, std::vector<Arrival>& arrived,
                       std::vector<Message>& completed)
{
    for (auto transfer = m_line.begin(); transfer != m_line.end();)
    {
        if (transfer->message.handle != handle || !transfer->completes)
        {
            ++transfer;
            continue;
        }
        arrived.push_back(Cut(*transfer, transfer->SentBy(now)));
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
                 {"midisrv", OutputLine::Behaviour::Midisrv},
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
