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

// The service's bytes that waited longer than it waits for a buffer are gone by now.
void EmulatedInputPort::AddBuffer(MIDIHDR* header, Clock::time_point now)
{
    if (m_intake == Intake::Service && m_started && m_queue.empty())
        DropArrived(now - ServiceWait);
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

void EmulatedInputPort::SetIntake(Intake intake, std::size_t* counter)
{
    m_intake = intake;
    m_dropped = counter;
}

bool EmulatedInputPort::DropsWithoutBuffer() const
{
    return m_intake != Intake::Holding;
}

EmulatedInputPort::Take EmulatedInputPort::Classify(std::uint8_t byte, bool inSysEx) const
{
    if (m_intake != Intake::Service)
        return Take::Write;
    constexpr std::uint8_t FirstRealTime = 0xF8;
    if (byte >= FirstRealTime)
        return Take::Skip;
    if (!inSysEx)
        return byte == SysEx::Start ? Take::Write : Take::Skip;
    return (byte & 0x80) != 0 && byte != SysEx::End ? Take::EndError : Take::Write;
}

void EmulatedInputPort::DropArrived(Clock::time_point cutoff)
{
    while (!m_line.empty())
    {
        Segment& segment = m_line.front();
        while (segment.position < segment.bytes.size() && segment.ArrivalOf(segment.position) <= cutoff)
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
            if (m_intake == Intake::Holding)
                break;
            // The service waits a while for a buffer; stopped input loses its bytes at once.
            const Clock::duration wait = m_intake == Intake::Service && m_started ? Clock::duration(ServiceWait)
                                                                                 : Clock::duration::zero();
            DropArrived(now - wait);
            return m_line.empty() ? Clock::time_point::max() : m_lineFree + wait;
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

        // Which bytes finish this block, and when the last of them arrives: the buffer (the
        // driver's while it is queued) is written ahead, but counted only at that moment, so
        // the worker wakes once per block, not per byte.
        auto* data = reinterpret_cast<std::uint8_t*>(header->lpData) + recorded;
        std::size_t taken = 0;
        std::size_t written = 0;
        bool inSysEx = m_inSysEx;
        UINT ending = 0;
        Clock::time_point lastArrival = now;
        for (const Segment& segment : m_line)
        {
            for (std::size_t i = segment.position; i < segment.bytes.size() && ending == 0; ++i)
            {
                const std::uint8_t byte = segment.bytes[i];
                lastArrival = segment.ArrivalOf(i);
                const Take take = Classify(byte, inSysEx);
                if (take == Take::EndError)
                {
                    ending = MIM_LONGERROR;
                    inSysEx = false;
                    break;
                }
                ++taken;
                if (take == Take::Skip)
                    continue;
                data[written++] = byte;
                inSysEx = byte != SysEx::End;
                if (byte == SysEx::End || written == room)
                    ending = MIM_LONGDATA;
            }
            if (ending != 0)
                break;
        }
        if (lastArrival > now)
            return lastArrival;

        for (std::size_t left = taken; left > 0;)
        {
            Segment& segment = m_line.front();
            const std::size_t take = std::min(left, segment.bytes.size() - segment.position);
            left -= take;
            segment.position += take;
            m_blockMalformed = m_blockMalformed || segment.malformed;
            if (segment.position == segment.bytes.size())
                m_line.pop_front();
        }
        m_inSysEx = inSysEx;
        header->dwBytesRecorded = static_cast<DWORD>(recorded + written);
        if (ending != 0)
            CompleteFirst(m_blockMalformed ? MIM_LONGERROR : ending, lastArrival, handBacks);
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
    m_inSysEx = false;
    while (!m_queue.empty())
        CompleteFirst(m_intake == Intake::Service ? MIM_LONGERROR : MIM_LONGDATA, now, handBacks);
}

DWORD_PTR EmulatedInputPort::Timestamp(Clock::time_point when) const
{
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(when - m_startTime);
    return static_cast<DWORD_PTR>(std::max<std::chrono::milliseconds::rep>(elapsed.count(), 0));
}

// The service hands back an empty buffer as data, never as an error.
void EmulatedInputPort::CompleteFirst(UINT message, Clock::time_point when,
                                      std::vector<HandBack>& handBacks)
{
    if (m_intake == Intake::Service && m_queue.front()->dwBytesRecorded == 0)
        message = MIM_LONGDATA;
    handBacks.push_back({m_queue.front(), message, Timestamp(when)});
    m_queue.pop_front();
    m_blockOpen = false;
    m_blockMalformed = false;
}
