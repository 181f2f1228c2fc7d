#include "protocol/BankIndex.h"

#include "protocol/MessageEnd.h"
#include "protocol/SysExMessages.h"

namespace
{
bool IsOneMessage(const unsigned char* message, std::size_t length)
{
    if (length < 2 || message[0] != SysEx::Start || message[length - 1] != SysEx::End)
        return false;
    for (std::size_t i = 1; i + 1 < length; ++i)
        if (message[i] >= 0x80)
            return false;
    return true;
}

// F0, the maker, the product and the command of this device; the device number may be any.
bool HasDeviceHeader(const unsigned char* message, std::size_t length)
{
    return length > SysEx::HeaderLength && message[0] == SysEx::Start && message[1] == 0x00 && message[2] == 0x00 &&
           message[3] == 0x10 && message[5] == SysEx::ProductByte;
}

// The bytes before a message's own data: the device's header with the program or algorithm
// number, or F0 and another maker's id (one byte, or 00 and two more).
std::size_t DataStart(const unsigned char* message, std::size_t length)
{
    if (length == 0 || message[0] != SysEx::Start)
        return 0;
    if (HasDeviceHeader(message, length))
    {
        if (message[6] == SysEx::CommandProgramDump)
            return SysEx::ProgramDumpStampLength;
        if (message[6] == SysEx::CommandAlgorithmDump)
            return SysEx::AlgorithmDumpStampLength + 1;
        return SysEx::HeaderLength;
    }
    return length > 1 && message[1] == 0x00 ? 4 : 2;
}

bool IsPrintable(unsigned char byte)
{
    return byte >= 0x20 && byte <= 0x7E;
}
}

std::string DumpText(const unsigned char* message, std::size_t length)
{
    constexpr std::size_t ShortestText = 4;
    std::string longest;
    for (std::size_t i = DataStart(message, length); i < length;)
    {
        if (!IsPrintable(message[i]))
        {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < length && IsPrintable(message[end]))
            ++end;
        // Padding is not text: a run is measured without the spaces around it.
        std::size_t first = i, last = end;
        while (first < last && message[first] == ' ')
            ++first;
        while (last > first && message[last - 1] == ' ')
            --last;
        if (last - first >= ShortestText && last - first > longest.size())
            longest.assign(message + first, message + last);
        i = end;
    }
    return longest;
}

BankMessage ClassifyMessage(const unsigned char* message, std::size_t length)
{
    BankMessage result;
    result.length = length;
    if (!IsOneMessage(message, length))
        return result;
    // The header and the command byte stand before the closing F7.
    if (!HasDeviceHeader(message, length))
    {
        result.kind = BankMessageKind::OtherMaker;
        return result;
    }
    result.deviceNumber = message[4] + 1;
    result.command = message[6];
    result.kind = BankMessageKind::DeviceMessage;
    if (result.command == SysEx::CommandProgramDump && length > SysEx::ProgramDumpStampLength)
    {
        result.kind = BankMessageKind::ProgramDump;
        result.number = ProgramNumber(message[7], message[8]);
    }
    else if (result.command == SysEx::CommandAlgorithmDump && length > SysEx::AlgorithmDumpStampLength + 1)
    {
        result.kind = BankMessageKind::AlgorithmDump;
        result.number = message[7] + 1;
    }
    else if (result.command == SysEx::CommandErrorReply)
    {
        result.kind = BankMessageKind::ErrorReply;
    }
    return result;
}

std::vector<BankMessage> IndexBank(const unsigned char* data, std::size_t size)
{
    std::vector<BankMessage> messages;
    for (std::size_t position = 0; position < size;)
    {
        const std::size_t end = FindMessageEnd(data, size, position);
        messages.push_back(ClassifyMessage(data + position, end - position + 1));
        messages.back().offset = position;
        position = end + 1;
    }
    return messages;
}

DumpDifference CompareDumps(const unsigned char* expected, std::size_t expectedLength, const unsigned char* actual,
                            std::size_t actualLength, std::size_t skip)
{
    DumpDifference difference;
    if (expectedLength != actualLength)
    {
        difference.result = DumpComparison::DifferentLength;
        difference.expected = expectedLength;
        difference.actual = actualLength;
        return difference;
    }
    for (std::size_t i = skip; i < expectedLength; ++i)
    {
        if (expected[i] != actual[i])
        {
            difference.result = DumpComparison::Differs;
            difference.offset = i;
            difference.expected = expected[i];
            difference.actual = actual[i];
            break;
        }
    }
    return difference;
}
