#include "emulator/EmulatedInputPort.h"

#include "protocol/SysExMessages.h"

#include <algorithm>
#include <cstring>

void EmulatedInputPort::Start(Clock::time_point now)
{
    if (!m_started)
        m_startTime = now;
    m_started = true;
}

bool EmulatedInputPort::IsStarted() const
{
    return m_started;
}

void EmulatedInputPort::AddBuffer(MIDIHDR* header)
{
    m_queue.push_back(header);
}

std::size_t EmulatedInputPort::QueuedBuffers() const
{
    return m_queue.size();
}

void EmulatedInputPort::Send(std::vector<std::uint8_t> bytes, bool malformed,
                             Clock::time_point now, Clock::duration perByte)
{
    if (bytes.empty())
        return;
    Segment segment;
    segment.start = std::max(now, m_lineFree);
    segment.perByte = perByte;
    segment.malformed = malformed;
    m_lineFree = segment.start + perByte * static_cast<Clock::rep>(bytes.size());
    segment.bytes = std::move(bytes);
    m_line.push_back(std::move(segment));
}

bool EmulatedInputPort::HasPendingBytes() const
{
    return !m_line.empty();
}

std::size_t EmulatedInputPort::ArrivedBy(Clock::time_point now) const
{
    std::size_t arrived = 0;
    for (const Segment& segment : m_line)
    {
        for (std::size_t i = segment.position; i < segment.bytes.size() && segment.ArrivalOf(i) <= now; ++i)
            ++arrived;
    }
    return arrived;
}

void EmulatedInputPort::DropWithoutBuffer(std::size_t* counter)
{
    m_dropped = counter;
}

bool EmulatedInputPort::DropsWithoutBuffer() const
{
    return m_dropped != nullptr;
}

void EmulatedInputPort::DropArrived(Clock::time_point now)
{
    while (!m_line.empty())
    {
        Segment& segment = m_line.front();
        while (segment.position < segment.bytes.size() && segment.ArrivalOf(segment.position) <= now)
        {
            ++segment.position;
            ++*m_dropped;
        }
        if (segment.position < segment.bytes.size())
            return;
        m_line.pop_front();
    }
}

EmulatedInputPort::Clock::time_point EmulatedInputPort::Fill(
    Clock::time_point now, const std::function<std::size_t()>& nextBlockLimit,
    std::vector<HandBack>& handBacks)
{
    while (!m_line.empty())
    {
        if (!m_started || m_queue.empty())
        {
            if (m_dropped == nullptr)
                break;
            DropArrived(now);
            return m_line.empty() ? Clock::time_point::max() : m_lineFree;
        }
        MIDIHDR* header = m_queue.front();
        if (!m_blockOpen)
        {
            m_blockLimit = nextBlockLimit ? nextBlockLimit() : 0;
            m_blockOpen = true;
        }
        const std::size_t recorded = header->dwBytesRecorded;
        std::size_t room = header->dwBufferLength - recorded;
        if (m_blockLimit != 0)
            room = std::min(room, m_blockLimit > recorded ? m_blockLimit - recorded : 1);

        // How many bytes finish this block, and when the last of them arrives: the buffer is
        // written in one go at that moment, so the worker wakes once per block, not per byte.
        std::size_t count = 0;
        bool completes = false;
        Clock::time_point lastArrival = now;
        for (const Segment& segment : m_line)
        {
            for (std::size_t i = segment.position; i < segment.bytes.size() && !completes; ++i)
            {
                ++count;
                lastArrival = segment.ArrivalOf(i);
                completes = segment.bytes[i] == SysEx::End || count == room;
            }
            if (completes)
                break;
        }
        if (lastArrival > now)
            return lastArrival;

        auto* data = reinterpret_cast<std::uint8_t*>(header->lpData) + recorded;
        for (std::size_t left = count; left > 0;)
        {
            Segment& segment = m_line.front();
            const std::size_t take = std::min(left, segment.bytes.size() - segment.position);
            std::memcpy(data, segment.bytes.data() + segment.position, take);
            data += take;
            left -= take;
            segment.position += take;
            m_blockMalformed = m_blockMalformed || segment.malformed;
            if (segment.position == segment.bytes.size())
                m_line.pop_front();
        }
        header->dwBytesRecorded = static_cast<DWORD>(recorded + count);
        if (completes)
            CompleteFirst(m_blockMalformed ? MIM_LONGERROR : MIM_LONGDATA, lastArrival,
                          handBacks);
    }
    return Clock::time_point::max();
}

bool EmulatedInputPort::HandBackFirst(UINT message, Clock::time_point now,
                                      std::vector<HandBack>& handBacks)
{
    if (m_queue.empty())
        return false;
    CompleteFirst(message, now, handBacks);
    return true;
}

void EmulatedInputPort::Reset(Clock::time_point now, std::vector<HandBack>& handBacks)
{
    m_started = false;
    // What has arrived of a message that has not ended is held in the first buffer, and goes
    // back with it; the device goes on sending the rest.
    if (!m_queue.empty())
    {
        MIDIHDR* header = m_queue.front();
        auto* data = reinterpret_cast<std::uint8_t*>(header->lpData);
        while (!m_line.empty() && header->dwBytesRecorded < header->dwBufferLength)
        {
            Segment& segment = m_line.front();
            if (segment.ArrivalOf(segment.position) > now)
                break;
            data[header->dwBytesRecorded++] = segment.bytes[segment.position++];
            if (segment.position == segment.bytes.size())
                m_line.pop_front();
        }
    }
    while (!m_queue.empty())
        CompleteFirst(MIM_LONGDATA, now, handBacks);
}

DWORD_PTR EmulatedInputPort::Timestamp(Clock::time_point when) const
{
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(when - m_startTime);
    return static_cast<DWORD_PTR>(std::max<std::chrono::milliseconds::rep>(elapsed.count(), 0));
}

void EmulatedInputPort::CompleteFirst(UINT message, Clock::time_point when,
                                      std::vector<HandBack>& handBacks)
{
    handBacks.push_back({m_queue.front(), message, Timestamp(when)});
    m_queue.pop_front();
    m_blockOpen = false;
    m_blockMalformed = false;
}
