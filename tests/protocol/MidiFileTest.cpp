#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "protocol/MidiFile.h"
#include "support/Bytes.h"

namespace
{
using Error = MidiFileError;

// RIFF chunks have little-endian lengths and are padded to an even length.
Bytes Chunk(const std::string& type, const Bytes& body, bool riff = false)
{
    Bytes chunk(type.begin(), type.end());
    for (int i = 0; i < 4; ++i)
        chunk.push_back(static_cast<unsigned char>(body.size() >> 8 * (riff ? i : 3 - i)));
    return chunk + body + (riff && body.size() % 2 ? Bytes{0} : Bytes{});
}

Bytes Header(unsigned char format, unsigned char tracks) { return Chunk("MThd", {0, format, 0, tracks, 0x01, 0xE0}); }

Bytes Rmi(const Bytes& chunks) { return Chunk("RIFF", Bytes{'R', 'M', 'I', 'D'} + chunks, true); }

// Events (delta time, event) closed by the end-of-track event.
Bytes Track(const Bytes& events) { return Chunk("MTrk", events + Bytes{0x00, 0xFF, 0x2F, 0x00}); }

// The result, the messages and their count; what the output held before is not kept.
std::tuple<Error, Bytes, std::size_t> Read(const Bytes& original)
{
    const Bytes file = original;  // no spare capacity: the sanitizers see any read past the end
    Bytes messages{0x55};
    std::size_t count = 99;
    const Error error = ReadMidiFileSysEx(file.data(), file.size(), messages, count);
    return {error, messages, count};
}
}

TEST(MidiFile, ReadsEverySysExInTimeOrder)
{
    const struct { const char* name; Bytes file; Bytes messages; std::size_t count; } cases[] = {
        {"format 0 among channel and meta events",
         Header(0, 1) + Track({0x00, 0x90, 0x3C, 0x40, 0x10, 0x3E, 0x40, 0x00, 0xC0, 0x05, 0x00, 0xD0, 0x10,
                               0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xF0, 0x03, 0x01, 0x02, 0xF7,
                               0x00, 0xE0, 0x00, 0x40, 0x00, 0xB0, 0x07, 0x64, 0x05, 0xF0, 0x01, 0xF7}),
         {0xF0, 0x01, 0x02, 0xF7, 0xF0, 0xF7}, 2},
        {"format 1, two tracks interleaved, ties to the first track",
         Header(1, 2) + Track({0x00, 0xF0, 0x02, 0x01, 0xF7, 0x81, 0x00, 0xF0, 0x02, 0x03, 0xF7}) +
             Track({0x7F, 0xF0, 0x02, 0x02, 0xF7, 0x01, 0xF0, 0x02, 0x04, 0xF7}),
         {0xF0, 0x01, 0xF7, 0xF0, 0x02, 0xF7, 0xF0, 0x03, 0xF7, 0xF0, 0x04, 0xF7}, 4},
        {"continuation packets, an escape skipped",
         Header(0, 1) + Track({0x00, 0xF7, 0x02, 0x90, 0x40, 0x00, 0xF0, 0x02, 0x01, 0x02, 0x05, 0xF7, 0x00,
                               0x05, 0xF7, 0x02, 0x03, 0xF7, 0x00, 0xF7, 0x01, 0xFE}),
         {0xF0, 0x01, 0x02, 0x03, 0xF7}, 1},
        {"longer header, alien chunk, data after end of track",
         Chunk("MThd", {0, 1, 0, 2, 0x01, 0xE0, 0xAA, 0xBB}) + Chunk("Info", {0xF0, 0x01}) +
             Track({0x8F, 0xFF, 0xFF, 0x7F, 0xF0, 0x02, 0x05, 0xF7}) +
             Chunk("MTrk", {0x00, 0xFF, 0x2F, 0x00, 0x00, 0xF0, 0x01, 0xF7}),
         {0xF0, 0x05, 0xF7}, 1},
        {"escapes that carry a whole message, or start one", Header(0, 1) +
             Track({0x00, 0xF7, 0x03, 0xF0, 0x01, 0xF7, 0x00, 0xF7, 0x02, 0xF0, 0x02, 0x00, 0xF7, 0x02, 0x03, 0xF7}),
         {0xF0, 0x01, 0xF7, 0xF0, 0x02, 0x03, 0xF7}, 2},
        {"no SysEx at all", Header(0, 1) + Track({0x00, 0x90, 0x3C, 0x40}), {}, 0},
        {"a RIFF MIDI file, its data after a chunk of odd length",
         Rmi(Chunk("LIST", {1, 2, 3}, true) + Chunk("data", Header(0, 1) + Track({0x00, 0xF0, 0x01, 0xF7}), true) +
             Bytes{'x'}),
         {0xF0, 0xF7}, 1},
    };
    for (const auto& c : cases)
    {
        EXPECT_TRUE(IsStandardMidiFile(c.file.data(), c.file.size())) << c.name;
        EXPECT_EQ(std::make_tuple(Error::None, c.messages, c.count), Read(c.file)) << c.name;
    }
}

TEST(MidiFile, DamageLeavesNothingToSend)
{
    const Bytes goodTrack = Track({0x00, 0xF0, 0x01, 0xF7});
    const struct { const char* name; Bytes file; Error error; } cases[] = {
        {"three bytes", {'M', 'T', 'h'}, Error::NotMidiFile},
        {"format 2", Header(2, 1) + goodTrack, Error::UnsupportedFormat},
        {"other header", Chunk("RIFF", {0, 0, 0, 1, 0, 0x60}) + goodTrack, Error::NotMidiFile},
        {"header of 4 bytes", Chunk("MThd", {0, 0, 0, 1}) + goodTrack, Error::NotMidiFile},
        {"format 0 with two tracks", Header(0, 2) + goodTrack + goodTrack, Error::UnsupportedFormat},
        {"header cut", {'M', 'T', 'h', 'd', 0, 0, 0}, Error::ChunkPastEnd},
        {"header past the end", {'M', 'T', 'h', 'd', 0, 0, 0, 9, 0, 0, 0, 1, 0, 0x60, 0}, Error::ChunkPastEnd},
        {"track past the end", Header(0, 1) + Bytes(goodTrack.begin(), goodTrack.end() - 1), Error::ChunkPastEnd},
        {"chunk header cut", Header(1, 2) + goodTrack + Bytes{'M', 'T'}, Error::ChunkPastEnd},
        {"one of two tracks", Header(1, 2) + goodTrack + Chunk("Info", {}), Error::MissingTrack},
        {"delta of five bytes", Header(0, 1) + Track({0x81, 0x81, 0x81, 0x81, 0, 0xF0, 0x01, 0xF7}), Error::LongNumber},
        {"running status first", Header(0, 1) + Track({0x00, 0x3C, 0x40}), Error::RunningStatusWithoutStatus},
        {"running status after SysEx",
         Header(0, 1) + Track({0x00, 0x90, 0x3C, 0x40, 0x00, 0xF0, 0x01, 0xF7, 0x00, 0x3E, 0x40}),
         Error::RunningStatusWithoutStatus},
        {"running status after meta",
         Header(0, 1) + Track({0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x01, 0x00, 0x00, 0x3E, 0x40}),
         Error::RunningStatusWithoutStatus},
        {"delta cut", Header(0, 1) + Chunk("MTrk", {0x00, 0x90, 0x3C, 0x40, 0x81}), Error::EventPastEnd},
        {"delta without event", Header(0, 1) + Chunk("MTrk", {0x00}), Error::EventPastEnd},
        {"channel event cut", Header(0, 1) + Chunk("MTrk", {0, 0xC0}), Error::EventPastEnd},
        {"meta type cut", Header(0, 1) + Chunk("MTrk", {0, 0xFF}), Error::EventPastEnd},
        {"status F4", Header(0, 1) + Track({0x00, 0xF4}), Error::UnknownEvent},
        {"SysEx past its track", Header(0, 1) + Chunk("MTrk", {0x00, 0xF0, 0x04, 0x01, 0x02, 0xF7}) + goodTrack,
         Error::EventPastEnd},
        {"meta past its track", Header(0, 1) + Chunk("MTrk", {0x00, 0xFF, 0x01, 0x02, 0x41}) + goodTrack,
         Error::EventPastEnd},
        {"new F0 while one is open", Header(0, 1) + Track({0x00, 0xF0, 0x01, 0x01, 0x00, 0xF0, 0x01, 0xF7}),
         Error::UnterminatedSysEx},
        {"end of track while open", Header(0, 1) + Track({0x00, 0xF0, 0x01, 0x01}), Error::UnterminatedSysEx},
        {"end of chunk while open", Header(0, 1) + Chunk("MTrk", {0x00, 0xF0, 0x01, 0x01}), Error::UnterminatedSysEx},
        {"status byte in the data", Header(0, 1) + Track({0, 0xF0, 0x03, 0x01, 0x90, 0xF7}), Error::UnterminatedSysEx},
        {"an escape that starts a message never ended", Header(0, 1) + Track({0x00, 0xF7, 0x02, 0xF0, 0x01}),
         Error::UnterminatedSysEx},
        {"RIFF MIDI without data", Rmi(Chunk("LIST", {1}, true)), Error::NotMidiFile},
        {"RIFF MIDI data that is no MIDI file", Rmi(Chunk("data", {1, 2, 3, 4}, true)), Error::NotMidiFile},
        {"RIFF MIDI chunk header cut", Rmi({'d', 'a', 't', 'a', 0}), Error::ChunkPastEnd},
        {"RIFF MIDI data past the end", Rmi(Bytes{'d', 'a', 't', 'a', 15, 0, 0, 0} + Header(0, 0)),
         Error::ChunkPastEnd},
        {"F7 before the packet's end", Header(0, 1) + Track({0, 0xF0, 4, 1, 0xF7, 2, 0xF7}), Error::UnterminatedSysEx},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::make_tuple(c.error, Bytes{}, std::size_t{0}), Read(c.file)) << c.name;
}
