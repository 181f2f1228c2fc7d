#include "midi/MidiLog.h"

#include <algorithm>
#include <chrono>

namespace
{
const auto g_programStart = std::chrono::steady_clock::now();

std::uint64_t MillisecondsSinceStart()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - g_programStart)
            .count());
}

bool IsSysExBoundary(unsigned char byte)
{
    return byte == 0xF0 || byte == 0xF7;
}

// The bytes a channel or system message packed for a short send takes on the wire.
std::size_t ShortMessageLength(unsigned char status)
{
    if (status >= 0xF8 || status == 0xF6)
        return 1;
    if ((status & 0xE0) == 0xC0 || status == 0xF1 || status == 0xF3)
        return 2;
    return 3;
}
}

MidiLog& TheMidiLog()
{
    static MidiLog log;
    return log;
}

void MidiLog::Opened(const void* handle, bool input, const std::string& port)
{
    std::lock_guard<std::mutex> lock(m_lock);
    Port& opened = m_ports[handle];
    opened = Port{};
    opened.input = input;
    opened.name = port;
    AppendLocked(RowLocked(&opened, MidiLogEvent::PortOpened));
}

void MidiLog::Closed(const void* handle)
{
    std::lock_guard<std::mutex> lock(m_lock);
    const auto found = m_ports.find(handle);
    if (found == m_ports.end())
        return;
    EndMessageLocked(found->second);
    AppendLocked(RowLocked(&found->second, MidiLogEvent::PortClosed));
    m_ports.erase(found);
}

void MidiLog::Bytes(const void* handle, const unsigned char* bytes, std::size_t length)
{
    std::lock_guard<std::mutex> lock(m_lock);
    Port* port = PortLocked(handle);
    if (port == nullptr)
        return;
    const unsigned char* end = bytes + length;
    while (bytes < end)
    {
        // F0 starts a message (what was pending lacked its F7); F7 ends one.
        if (*bytes == 0xF0 && port->pendingSize > 0)
            EndMessageLocked(*port);
        // A block may start with the F7 that ends the message of the block before.
        const unsigned char* boundary = std::find_if(*bytes == 0xF0 ? bytes + 1 : bytes, end, IsSysExBoundary);
        const bool ends = boundary < end && *boundary == 0xF7;
        const unsigned char* stop = ends ? boundary + 1 : boundary;
        KeepLocked(*port, bytes, static_cast<std::size_t>(stop - bytes));
        if (ends)
            EndMessageLocked(*port);
        bytes = stop;
    }
}

void MidiLog::Short(const void* handle, std::uint32_t message)
{
    std::lock_guard<std::mutex> lock(m_lock);
    const Port* port = PortLocked(handle);
    if (port == nullptr)
        return;
    MidiLogRow row = RowLocked(port, MidiLogEvent::ShortMessage);
    for (std::size_t i = 0; i < ShortMessageLength(message & 0xFF); ++i)
        row.bytes.push_back(static_cast<unsigned char>(message >> (8 * i)));
    row.size = row.bytes.size();
    AppendLocked(std::move(row));
}

void MidiLog::Note(const void* handle, MidiLogEvent event, bool input)
{
    std::lock_guard<std::mutex> lock(m_lock);
    const Port* port = PortLocked(handle);
    MidiLogRow row = RowLocked(port, event);
    if (port == nullptr)
        row.input = input;
    AppendLocked(std::move(row));
}

void MidiLog::Cut(const void* handle, const unsigned char* bytes, std::size_t length)
{
    std::lock_guard<std::mutex> lock(m_lock);
    Port* port = PortLocked(handle);
    if (port == nullptr)
        return;
    KeepLocked(*port, bytes, length);
    EndMessageLocked(*port, MidiLogEvent::Cut);
}

std::size_t MidiLog::First() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_first;
}

std::size_t MidiLog::Count() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_rows.size();
}

bool MidiLog::Row(std::size_t index, MidiLogRow& row) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (index < m_first || index - m_first >= m_rows.size())
        return false;
    row = m_rows[index - m_first];
    return true;
}

void MidiLog::Clear()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_first = 0;
    m_rows.clear();
    m_keptBytes = 0;
}

MidiLog::Port* MidiLog::PortLocked(const void* handle)
{
    const auto found = m_ports.find(handle);
    return found == m_ports.end() ? nullptr : &found->second;
}

void MidiLog::KeepLocked(Port& port, const unsigned char* bytes, std::size_t length)
{
    if (port.pending.capacity() == 0)
    {
        port.pending.swap(m_spare);
        port.pending.clear();
    }
    port.pending.insert(port.pending.end(), bytes, bytes + std::min(KeptBytes - port.pending.size(), length));
    port.pendingSize += length;
}

MidiLogRow MidiLog::RowLocked(const Port* port, MidiLogEvent event) const
{
    MidiLogRow row;
    row.milliseconds = MillisecondsSinceStart();
    row.event = event;
    if (port != nullptr)
    {
        row.input = port->input;
        row.port = port->name;
    }
    return row;
}

void MidiLog::EndMessageLocked(Port& port, MidiLogEvent event)
{
    if (port.pendingSize == 0 && event == MidiLogEvent::LongMessage)
        return;
    MidiLogRow row = RowLocked(&port, event);
    row.size = port.pendingSize;
    row.bytes = std::move(port.pending);
    port.pending.clear();
    port.pendingSize = 0;
    AppendLocked(std::move(row));
}

void MidiLog::AppendLocked(MidiLogRow row)
{
    m_keptBytes += row.bytes.size();
    m_rows.push_back(std::move(row));
    while (m_rows.size() > RowLimit || m_keptBytes > ByteLimit)
    {
        m_keptBytes -= m_rows.front().bytes.size();
        m_spare = std::move(m_rows.front().bytes);
        m_rows.pop_front();
        ++m_first;
    }
}
