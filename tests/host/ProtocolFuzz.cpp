// Feeds arbitrary device replies and bulk files to the code that reads them: the error
// decoding must stay within the data and in its number range, and the message split must
// cover every byte exactly once in pieces that end at an F7 or at the end of the data, and
// so must the bank window's rows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "protocol/BankIndex.h"
#include "protocol/MessageEnd.h"
#include "protocol/SysExMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Copies make the sanitizers see the exact extent of the input.
    const std::vector<unsigned char> bytes(data, data + size);
    const unsigned char* begin = bytes.empty() ? nullptr : bytes.data();

    IsErrorReply(begin, bytes.size(), true);
    const unsigned id = ErrorReplyStringId(begin, bytes.size());
    if (id < 200 || id > 200 + 10 * 255 + 255)
        std::abort();

    std::size_t covered = 0;
    for (std::size_t position = 0; position < bytes.size();)
    {
        const std::size_t end = FindMessageEnd(bytes.data(), bytes.size(), position);
        if (end < position || end >= bytes.size())
            std::abort();
        if (bytes[end] != SysEx::End && end != bytes.size() - 1)
            std::abort();
        covered += end - position + 1;
        position = end + 1;
    }
    if (covered != bytes.size())
        std::abort();

    // The bank window's rows are the same pieces, and a dump compares the same as itself.
    std::size_t next = 0;
    for (const BankMessage& message : IndexBank(begin, bytes.size()))
    {
        if (message.offset != next || message.length == 0 ||
            (message.kind == BankMessageKind::ProgramDump && (message.number < 1 || message.number > 128 * 128)) ||
            CompareDumps(begin + next, message.length, begin + next, message.length, 0).result != DumpComparison::Same)
            std::abort();
        next += message.length;
    }
    if (next != bytes.size())
        std::abort();
    return 0;
}
