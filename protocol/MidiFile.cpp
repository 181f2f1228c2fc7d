#include "protocol/MidiFile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "protocol/SysExMessages.h"

namespace
{
constexpr unsigned char MetaEvent = 0xFF;
constexpr unsigned char EndOfTrack = 0x2F;
constexpr std::size_t ChunkHeaderLength = 8;
constexpr std::size_t RiffHeaderLength = 12;
constexpr std::size_t MinimumHeaderLength = 6;
constexpr int MaximumNumberLength = 4;

// A SysEx message found in a track; its bytes are gathered in file order until the merge.
struct FoundMessage
{
    std::uint64_t tick;
    std::size_t start;
    std::size_t length;
};

std::uint32_t ReadBigEndian(const unsigned char* bytes, int length)
{
    std::uint32_t value = 0;
    for (int i = 0; i < length; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

std::uint32_t ReadLittleEndian(const unsigned char* bytes)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

// Reads one track chunk's events; every read is checked against the chunk's end.
class TrackReader
{
public:
    TrackReader(const unsigned char* data, std::size_t end, std::vector<unsigned char>& messageBytes,
                std::vector<FoundMessage>& found)
        : m_data(data), m_end(end), m_messageBytes(messageBytes), m_found(found)
    {
    }

    // A chunk that ends without an end-of-track event ends the track all the same.
    MidiFileError Read(std::size_t position)
    {
        m_position = position;
        while (m_position < m_end)
        {
            std::uint32_t delta = 0;
            if (const MidiFileError error = ReadNumber(delta); error != MidiFileError::None)
                return error;
            m_tick += delta;
            bool endOfTrack = false;
            if (const MidiFileError error = ReadEvent(endOfTrack); error != MidiFileError::None)
                return error;
            if (endOfTrack)
                break;
        }
        return m_open ? MidiFileError::UnterminatedSysEx : MidiFileError::None;
    }

private:
    // A variable-length quantity: seven bits a byte, high bit set on all but the last.
    MidiFileError ReadNumber(std::uint32_t& value)
    {
        value = 0;
        for (int i = 0; i < MaximumNumberLength; ++i)
        {
            if (m_position >= m_end)
                return MidiFileError::EventPastEnd;
            const unsigned char byte = m_data[m_position++];
            value = (value << 7) | (byte & 0x7F);
            if (byte < 0x80)
                return MidiFileError::None;
        }
        return MidiFileError::LongNumber;
    }

    // A length followed by that many bytes inside the track; leaves them at `bytes`.
    MidiFileError ReadBlock(const unsigned char*& bytes, std::size_t& length)
    {
        std::uint32_t value = 0;
        if (const MidiFileError error = ReadNumber(value); error != MidiFileError::None)
            return error;
        if (value > m_end - m_position)
            return MidiFileError::EventPastEnd;
        bytes = m_data + m_position;
        length = value;
        m_position += length;
        return MidiFileError::None;
    }

    MidiFileError ReadEvent(bool& endOfTrack)
    {
        if (m_position >= m_end)
            return MidiFileError::EventPastEnd;
        unsigned char status = m_data[m_position];
        if (status < 0x80)
        {
            if (m_runningStatus == 0)
                return MidiFileError::RunningStatusWithoutStatus;
            status = m_runningStatus;
        }
        else
        {
            ++m_position;
        }

        if (status < 0xF0)
        {
            m_runningStatus = status;
            const unsigned char kind = status & 0xF0;
            const std::size_t dataLength = kind == 0xC0 || kind == 0xD0 ? 1 : 2;
            if (dataLength > m_end - m_position)
                return MidiFileError::EventPastEnd;
            m_position += dataLength;
            return MidiFileError::None;
        }

        m_runningStatus = 0;
        if (status == MetaEvent)
        {
            if (m_position >= m_end)
                return MidiFileError::EventPastEnd;
            endOfTrack = m_data[m_position++] == EndOfTrack;
            const unsigned char* skipped = nullptr;
            std::size_t length = 0;
            return ReadBlock(skipped, length);
        }
        if (status == SysEx::Start)
            return ReadSysExStart();
        if (status == SysEx::End)
            return ReadSysExPacket();
        return MidiFileError::UnknownEvent;
    }

    MidiFileError ReadSysExStart()
    {
        if (m_open)
            return MidiFileError::UnterminatedSysEx;
        const unsigned char* packet = nullptr;
        std::size_t length = 0;
        if (const MidiFileError error = ReadBlock(packet, length); error != MidiFileError::None)
            return error;
        return StartMessage(packet, length);
    }

    // Continues the open message. Without one it is an escape, whose bytes go to the cable
    // as they are: one that starts with F0 starts a message (some files carry each whole
    // F0 ... F7 message that way); any other escape is not SysEx.
    MidiFileError ReadSysExPacket()
    {
        const unsigned char* packet = nullptr;
        std::size_t length = 0;
        if (const MidiFileError error = ReadBlock(packet, length); error != MidiFileError::None)
            return error;
        if (m_open)
            return AppendPacket(packet, length);
        if (length > 0 && packet[0] == SysEx::Start)
            return StartMessage(packet + 1, length - 1);
        return MidiFileError::None;
    }

    // `packet` follows the F0.
    MidiFileError StartMessage(const unsigned char* packet, std::size_t length)
    {
        m_found.push_back({m_tick, m_messageBytes.size(), 0});
        m_messageBytes.push_back(SysEx::Start);
        m_open = true;
        return AppendPacket(packet, length);
    }

    MidiFileError AppendPacket(const unsigned char* packet, std::size_t length)
    {
        for (std::size_t i = 0; i < length; ++i)
        {
            const unsigned char byte = packet[i];
            if (byte >= 0x80 && !(byte == SysEx::End && i == length - 1))
                return MidiFileError::UnterminatedSysEx;
            m_messageBytes.push_back(byte);
        }
        if (length > 0 && packet[length - 1] == SysEx::End)
        {
            m_found.back().length = m_messageBytes.size() - m_found.back().start;
            m_open = false;
        }
        return MidiFileError::None;
    }

    const unsigned char* m_data;
    const std::size_t m_end;
    std::vector<unsigned char>& m_messageBytes;
    std::vector<FoundMessage>& m_found;
    std::size_t m_position = 0;
    std::uint64_t m_tick = 0;
    unsigned char m_runningStatus = 0;
    bool m_open = false;
};

bool StartsWith(const unsigned char* data, std::size_t size, const char (&tag)[5], std::size_t offset = 0)
{
    return size >= offset + 4 && std::memcmp(data + offset, tag, 4) == 0;
}

bool IsRiffMidiFile(const unsigned char* data, std::size_t size)
{
    return StartsWith(data, size, "RIFF") && StartsWith(data, size, "RMID", 8);
}

// A RIFF MIDI file holds the Standard MIDI File as its "data" chunk: narrows `data` and
// `size` to it. RIFF lengths are little-endian, and a chunk of odd length is padded.
MidiFileError FindRiffData(const unsigned char*& data, std::size_t& size)
{
    for (std::size_t position = RiffHeaderLength; position < size;)
    {
        if (size - position < ChunkHeaderLength)
            return MidiFileError::ChunkPastEnd;
        const std::uint32_t length = ReadLittleEndian(data + position + 4);
        const std::size_t body = position + ChunkHeaderLength;
        if (length > size - body)
            return MidiFileError::ChunkPastEnd;
        if (StartsWith(data, size, "data", position))
        {
            data += body;
            size = length;
            return MidiFileError::None;
        }
        position = std::min(size, body + length + (length & 1));
    }
    return MidiFileError::NotMidiFile;
}

MidiFileError ReadAllTracks(const unsigned char* data, std::size_t size, std::vector<unsigned char>& messageBytes,
                            std::vector<FoundMessage>& found)
{
    if (IsRiffMidiFile(data, size))
        if (const MidiFileError error = FindRiffData(data, size); error != MidiFileError::None)
            return error;
    if (!StartsWith(data, size, "MThd"))
        return MidiFileError::NotMidiFile;
    if (size < ChunkHeaderLength)
        return MidiFileError::ChunkPastEnd;
    const std::uint32_t headerLength = ReadBigEndian(data + 4, 4);
    if (headerLength < MinimumHeaderLength)
        return MidiFileError::NotMidiFile;
    if (headerLength > size - ChunkHeaderLength)
        return MidiFileError::ChunkPastEnd;
    const std::uint32_t format = ReadBigEndian(data + 8, 2);
    const std::uint32_t trackCount = ReadBigEndian(data + 10, 2);
    if (format > 1 || (format == 0 && trackCount > 1))
        return MidiFileError::UnsupportedFormat;

    std::size_t position = ChunkHeaderLength + headerLength;
    for (std::uint32_t tracksRead = 0; tracksRead < trackCount;)
    {
        if (position == size)
            return MidiFileError::MissingTrack;
        if (size - position < ChunkHeaderLength)
            return MidiFileError::ChunkPastEnd;
        const std::uint32_t length = ReadBigEndian(data + position + 4, 4);
        const std::size_t body = position + ChunkHeaderLength;
        if (length > size - body)
            return MidiFileError::ChunkPastEnd;
        // Chunks of other types are allowed and carry nothing for the device.
        if (std::memcmp(data + position, "MTrk", 4) == 0)
        {
            TrackReader track(data, body + length, messageBytes, found);
            if (const MidiFileError error = track.Read(body); error != MidiFileError::None)
                return error;
            ++tracksRead;
        }
        position = body + length;
    }
    return MidiFileError::None;
}
}

bool IsStandardMidiFile(const unsigned char* data, std::size_t size)
{
    return StartsWith(data, size, "MThd") || IsRiffMidiFile(data, size);
}

MidiFileError ReadMidiFileSysEx(const unsigned char* data, std::size_t size,
                                std::vector<unsigned char>& messages, std::size_t& count)
{
    messages.clear();
    count = 0;
    std::vector<FoundMessage> found;
    if (const MidiFileError error = ReadAllTracks(data, size, messages, found); error != MidiFileError::None)
    {
        messages.clear();
        return error;
    }

    // Tracks were read one after the other, so a stable sort on the tick keeps ties in track
    // order and then in file order. A single track is in time order already.
    const auto earlier = [](const FoundMessage& a, const FoundMessage& b) { return a.tick < b.tick; };
    if (!std::is_sorted(found.begin(), found.end(), earlier))
    {
        std::stable_sort(found.begin(), found.end(), earlier);
        std::vector<unsigned char> ordered;
        ordered.reserve(messages.size());
        for (const FoundMessage& message : found)
            ordered.insert(ordered.end(), messages.begin() + message.start,
                           messages.begin() + message.start + message.length);
        messages.swap(ordered);
    }
    count = found.size();
    return MidiFileError::None;
}
