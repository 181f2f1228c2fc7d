#include "protocol/DumpFileCheck.h"

#include "protocol/BulkFileSummary.h"
#include "protocol/SysExMessages.h"

namespace
{
bool FromOtherMaker(const unsigned char* data, std::size_t size)
{
    if (size < 6)
        return false;
    return data[1] != 0x00 || data[2] != 0x00 || data[3] != 0x10 || data[5] != SysEx::ProductByte;
}

DumpFileProblem FindProblem(const unsigned char* data, std::size_t size, std::size_t stampLength,
                            const BulkFileSummary& summary, std::size_t& offset)
{
    if (summary.midiFile)
        return DumpFileProblem::MidiFile;
    if (summary.completeMessages > 1)
        return DumpFileProblem::SeveralMessages;
    // The stamp would overwrite the closing F7 too: nothing of the file survives.
    if (size <= stampLength)
        return DumpFileProblem::TooShort;
    if (data[size - 1] != SysEx::End)
        return DumpFileProblem::NoEnd;
    // Bytes under the stamp do not matter: they are replaced by the header.
    for (std::size_t i = stampLength; i < size - 1; ++i)
    {
        if (data[i] >= 0x80)
        {
            offset = i;
            return DumpFileProblem::StatusByteInside;
        }
    }
    return DumpFileProblem::None;
}

// Only this device's header says what byte 6 means.
DumpFileProblem FindOtherKind(const unsigned char* data, std::size_t size, std::size_t stampLength)
{
    if (size <= 6 || FromOtherMaker(data, size))
        return DumpFileProblem::None;
    if (stampLength == SysEx::ProgramDumpStampLength && data[6] == SysEx::CommandAlgorithmDump)
        return DumpFileProblem::AlgorithmDump;
    if (stampLength == SysEx::AlgorithmDumpStampLength && data[6] == SysEx::CommandProgramDump)
        return DumpFileProblem::ProgramDump;
    return DumpFileProblem::None;
}
}

DumpFileCheck CheckDumpFile(const unsigned char* data, std::size_t size, std::size_t stampLength)
{
    DumpFileCheck check;
    const BulkFileSummary summary = SummarizeBulkFile(data, size);
    check.messageCount = summary.completeMessages;
    check.problem = FindProblem(data, size, stampLength, summary, check.offset);
    if (check.problem == DumpFileProblem::None)
        check.problem = FindOtherKind(data, size, stampLength);
    check.otherMaker = FromOtherMaker(data, size);
    return check;
}
