#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// What a row of the MIDI log stands for.
enum class MidiLogEvent
{
    LongMessage,   // a SysEx message (or bytes outside one) sent or received
    ShortMessage,  // a channel message such as a program change
    PortOpened,
    PortClosed,
    Reset,         // the program reset the port
    Cut,           // the driver handed back a message cut short (the bytes it held)
    Dropped,       // the driver reported bytes it could not pass on
    TimedOut,      // the device did not answer in time
    Overdue        // a send was stopped because the interface did not finish it
};

struct MidiLogRow
{
    std::uint64_t milliseconds = 0;  // since the program started
    bool input = false;
    MidiLogEvent event = MidiLogEvent::LongMessage;
    std::string port;
    std::size_t size = 0;             // every byte of the message, kept or not
    std::vector<unsigned char> bytes; // its first MidiLog::KeptBytes bytes
};

// Every message that passes the driver seam and what happened to the ports, for the log
// window. Recorded on whichever thread sees it (the driver's callbacks included), so each
// call only takes a lock, appends and returns; the window reads at its own pace.
class MidiLog
{
public:
    // The rows kept; older ones are dropped and counted.
    static constexpr std::size_t RowLimit = 20000;
    // A message keeps this many bytes: the longest dump the program sends. Longer ones keep
    // their start and cannot be saved as .syx.
    static constexpr std::size_t KeptBytes = 65536;
    // The bytes all rows may keep together, so that 20,000 long dumps cannot fill the memory.
    static constexpr std::size_t ByteLimit = 32u << 20;

    // A port opened under `handle`; its rows are named `port` until it closes.
    void Opened(const void* handle, bool input, const std::string& port);
    void Closed(const void* handle);
    // Bytes that went out or came in on a port; they are cut into messages at F0 and F7, so
    // that pieces and blocks make one row a message.
    void Bytes(const void* handle, const unsigned char* bytes, std::size_t length);
    void Short(const void* handle, std::uint32_t message);
    // A row without bytes: on a port (reset, dropped, time-out, overdue), or the program's
    // own when `handle` is no open port.
    void Note(const void* handle, MidiLogEvent event, bool input = false);
    // The driver handed back a message cut short: the bytes it held, with what came before.
    void Cut(const void* handle, const unsigned char* bytes, std::size_t length);

    // Rows [first, first + count) are held; first counts the rows dropped so far.
    std::size_t First() const;
    std::size_t Count() const;
    // A copy of row `index` (counted from the first row ever); false when it has gone.
    bool Row(std::size_t index, MidiLogRow& row) const;
    // Starts afresh, as at the program's start; the open ports stay known.
    void Clear();

private:
    struct Port
    {
        bool input = false;
        std::string name;
        std::vector<unsigned char> pending;  // a message not yet ended by F7
        std::size_t pendingSize = 0;
    };
    Port* PortLocked(const void* handle);
    // Adds bytes to the message under way, keeping no more than KeptBytes of it.
    void KeepLocked(Port& port, const unsigned char* bytes, std::size_t length);
    void AppendLocked(MidiLogRow row);
    void EndMessageLocked(Port& port, MidiLogEvent event = MidiLogEvent::LongMessage);
    MidiLogRow RowLocked(const Port* port, MidiLogEvent event) const;

    mutable std::mutex m_lock;
    std::deque<MidiLogRow> m_rows;
    std::size_t m_first = 0;
    std::size_t m_keptBytes = 0;
    std::map<const void*, Port> m_ports;
    // The bytes of the row dropped last, kept for the next message: at full speed a row comes
    // and goes with every message, and this spares an allocation and a release for each.
    std::vector<unsigned char> m_spare;
};

// The process's log, fed by the driver seam and the callbacks.
MidiLog& TheMidiLog();
