#pragma once
#include <cstddef>

// Why a program or algorithm dump file must not be sent. Sending stamps the device's header
// over the start of the file and sends the whole file as one message, so anything but one
// complete message would reach the device under a valid header.
enum class DumpFileProblem
{
    None,
    MidiFile,
    SeveralMessages,
    TooShort,
    NoEnd,
    StatusByteInside,
    // A dump of this device of the other kind: sent, it would be re-addressed into the wrong
    // memory (command 30 sent as a program, 42 sent as an algorithm).
    AlgorithmDump,
    ProgramDump
};

struct DumpFileCheck
{
    DumpFileProblem problem = DumpFileProblem::None;
    // Complete messages in the file as it is, before stamping (see BulkFileSummary).
    std::size_t messageCount = 0;
    // With StatusByteInside: the offset of the first byte of 0x80 or above after the stamp.
    std::size_t offset = 0;
    // The file came from another maker's device: bytes 1-3 are not 00 00 10 or byte 5 is
    // not 41. Always false for a file shorter than 6 bytes.
    bool otherMaker = false;
};

// stampLength: the bytes that sending overwrites, SysEx::ProgramDumpStampLength or
// SysEx::AlgorithmDumpStampLength. The first problem in the order of the enumeration wins.
DumpFileCheck CheckDumpFile(const unsigned char* data, std::size_t size, std::size_t stampLength);
