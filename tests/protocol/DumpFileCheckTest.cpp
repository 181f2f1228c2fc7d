#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "protocol/BulkFileSummary.h"
#include "protocol/DumpFileCheck.h"
#include "protocol/SysExMessages.h"
#include "support/Bytes.h"

namespace
{
using Problem = DumpFileProblem;
constexpr std::size_t Program = SysEx::ProgramDumpStampLength;
constexpr std::size_t Algorithm = SysEx::AlgorithmDumpStampLength;

// A program dump as the device writes it: header, slot bytes, `data`, F7.
Bytes Dump(const Bytes& data)
{
    return Bytes{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x42, 0x00, 0x05} + data + Bytes{0xF7};
}
}

TEST(DumpFileCheck, FindsTheFirstProblemInOrder)
{
    const struct { const char* name; Bytes file; std::size_t stampLength; Problem problem;
                   std::size_t messageCount, offset; bool otherMaker; } cases[] = {
        {"program dump", Dump({0x11, 0x22}), Program, Problem::None, 1, 0, false},
        {"algorithm dump of header and F7", {0xF0, 0, 0, 0x10, 0, 0x41, 0x30, 0xF7}, Algorithm, Problem::None, 1, 0,
         false},
        {"status bytes under the stamp", {0xF0, 0, 0, 0x10, 0x85, 0x41, 0x42, 0x80, 0xFF, 0x01, 0xF7}, Program,
         Problem::None, 0, 0, false},
        {"MIDI file", Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6} + Dump({}) + Dump({}), Program, Problem::MidiFile, 2, 0,
         true},
        {"two dumps", Dump({0x11}) + Dump({0x22}), Program, Problem::SeveralMessages, 2, 0, false},
        {"5 bytes", {0xF0, 0x00, 0x00, 0x10, 0xF7}, Program, Problem::TooShort, 1, 0, false},
        {"header and slot only", {0xF0, 0, 0, 0x10, 0, 0x41, 0x42, 0x00, 0xF7}, Program, Problem::TooShort, 1, 0,
         false},
        {"no F7", Dump({0x11, 0x22}) + Bytes{0x33}, Program, Problem::NoEnd, 1, 0, false},
        {"random bytes", {0x12, 0x9A, 0x00, 0x10, 0x00, 0x41, 0xC3, 0x55, 0x80, 0x07}, Algorithm, Problem::NoEnd, 0,
         0, true},
        {"status byte just after the stamp", Dump({0x90, 0x22}), Program, Problem::StatusByteInside, 0, 9, false},
        {"a second F0 inside", Dump({0x11, 0xF0, 0x22}), Program, Problem::StatusByteInside, 1, 10, false},
        {"last data byte", Dump({0x11, 0x22, 0xF8}), Algorithm, Problem::StatusByteInside, 0, 11, false},
        {"other maker in byte 3, whose 30 is no algorithm", {0xF0, 0, 0, 0x11, 0, 0x41, 0x30, 2, 0, 0x11, 0xF7}, Program,
         Problem::None, 1, 0, true},
        {"other maker in byte 5", {0xF0, 0, 0, 0x10, 0, 0x40, 0x30, 0x01, 0xF7}, Algorithm, Problem::None, 1, 0, true},
        {"other maker in byte 2, 6 bytes", {0xF0, 0, 0x43, 0x10, 0, 0x41}, Algorithm, Problem::TooShort, 0, 0, true},
        {"5 bytes are never another maker's", {0xF0, 0x43, 1, 2, 0xF7}, Algorithm, Problem::TooShort, 1, 0, false},
        {"algorithm dump sent as a program", {0xF0, 0, 0, 0x10, 0, 0x41, 0x30, 2, 0, 0x11, 0xF7}, Program,
         Problem::AlgorithmDump, 1, 0, false},
        {"program dump sent as an algorithm", Dump({0x11}), Algorithm, Problem::ProgramDump, 1, 0, false},
    };
    for (const auto& c : cases)
    {
        const DumpFileCheck d = CheckDumpFile(c.file.data(), c.file.size(), c.stampLength);
        EXPECT_EQ(std::tie(c.problem, c.messageCount, c.offset, c.otherMaker),
                  std::tie(d.problem, d.messageCount, d.offset, d.otherMaker)) << c.name;
    }
}

TEST(BulkFileSummary, CountsMessagesAndStrayBytes)
{
    const struct { const char* name; Bytes file; std::size_t complete, unterminated, outside; bool midiFile; } cases[] = {
        {"nothing", {}, 0, 0, 0, false},
        {"two dumps", Dump({0x11}) + Dump({}), 2, 0, 0, false},
        {"bytes before, between and after", {0x01, 0xF0, 0xF7, 0xF7, 0x02, 0xF0, 0x03, 0xF7, 0x04}, 2, 0, 4, false},
        {"cut by a new F0", {0xF0, 0x01, 0xF0, 0x02, 0xF7}, 1, 1, 0, false},
        {"cut by the lowest status byte", {0xF0, 0x01, 0x80, 0x02, 0xF7}, 0, 1, 3, false},
        {"cut by the end", {0xF7, 0xF0, 0x01, 0x02}, 0, 1, 1, false},
        {"MIDI file", {'M', 'T', 'h', 'd', 0xF0, 0xF7}, 1, 0, 4, true},
    };
    for (const auto& c : cases)
    {
        const BulkFileSummary s = SummarizeBulkFile(c.file.data(), c.file.size());
        EXPECT_EQ(std::tie(c.complete, c.unterminated, c.outside, c.midiFile),
                  std::tie(s.completeMessages, s.unterminatedMessages, s.bytesOutsideMessages, s.midiFile)) << c.name;
    }
}
