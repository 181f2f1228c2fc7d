// Feeds arbitrary files to the checks made before a file is sent and to the MIDI file reader,
// which must hand over only clean messages, as many as it says, and nothing at all when it
// fails.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "protocol/BulkFileSummary.h"
#include "protocol/DumpFileCheck.h"
#include "protocol/MidiFile.h"
#include "protocol/SysExMessages.h"

namespace
{
using Bytes = std::vector<unsigned char>;
constexpr std::size_t NotClean = static_cast<std::size_t>(-1);

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

// How many F0, data below 0x80, F7 messages the bytes are, with nothing between them.
std::size_t CountCleanMessages(const Bytes& bytes)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i, ++count)
    {
        if (bytes[i] != SysEx::Start)
            return NotClean;
        do
            ++i;
        while (i < bytes.size() && bytes[i] < 0x80);
        if (i == bytes.size() || bytes[i] != SysEx::End)
            return NotClean;
    }
    return count;
}

// The checks made before a file is sent read within the file and count consistently.
void CheckFileChecks(const Bytes& file)
{
    const BulkFileSummary summary = SummarizeBulkFile(file.data(), file.size());
    Require(2 * summary.completeMessages + summary.unterminatedMessages + summary.bytesOutsideMessages <=
            file.size());
    const DumpFileCheck check = CheckDumpFile(file.data(), file.size(), SysEx::ProgramDumpStampLength);
    Require(check.messageCount == summary.completeMessages);
    if (check.problem == DumpFileProblem::StatusByteInside)
        Require(check.offset >= SysEx::ProgramDumpStampLength && check.offset + 1 < file.size() &&
                file[check.offset] >= 0x80);
}

void CheckMidiFileReader(const Bytes& file)
{
    Bytes messages{0x55};
    std::size_t count = 1;
    const MidiFileError error = ReadMidiFileSysEx(file.data(), file.size(), messages, count);
    Require(error == MidiFileError::NotMidiFile || IsStandardMidiFile(file.data(), file.size()));
    if (error != MidiFileError::None)
        Require(messages.empty() && count == 0);
    else
        // The bulk send copies the messages over the file's own bytes.
        Require(CountCleanMessages(messages) == count && messages.size() <= file.size());
}

// Random bytes rarely form a MIDI file's chunks; wrapped as the two tracks of a format 1
// file (the first byte says where to split them), they reach the event reader directly.
Bytes AsTwoTracks(const Bytes& bytes)
{
    Bytes file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0, 0x60};
    const auto addTrack = [&](std::size_t begin, std::size_t end) {
        file.insert(file.end(), {'M', 'T', 'r', 'k'});
        for (int shift = 24; shift >= 0; shift -= 8)
            file.push_back(static_cast<unsigned char>((end - begin) >> shift));
        file.insert(file.end(), bytes.begin() + begin, bytes.begin() + end);
    };
    const std::size_t split = bytes.empty() ? 0 : 1 + bytes[0] % bytes.size();
    addTrack(bytes.empty() ? 0 : 1, split);
    addTrack(split, bytes.size());
    return file;
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Copies make the sanitizers see the exact extent of the input.
    const Bytes bytes(data, data + size);
    CheckFileChecks(bytes);
    CheckMidiFileReader(bytes);
    CheckMidiFileReader(AsTwoTracks(bytes));
    Bytes riff{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D'};  // the bytes as its chunks
    riff.insert(riff.end(), bytes.begin(), bytes.end());
    CheckMidiFileReader(riff);
    return 0;
}
