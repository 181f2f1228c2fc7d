#pragma once
#include <cstddef>
#include <string>
#include <vector>

// What each message of a bulk file is, read from its header, for the bank window. A file is
// cut where the bulk send cuts it (FindMessageEnd), so that a row is exactly what the bulk
// send would hand over as one message.
enum class BankMessageKind
{
    ProgramDump,    // command 42; number: the program in bytes 7-8
    AlgorithmDump,  // command 30; number: the algorithm in byte 7
    ErrorReply,     // command 61
    DeviceMessage,  // another message of this device; command: its command byte
    OtherMaker,     // a complete message of another maker or product
    NotAMessage     // bytes outside any message, a message without F7 or with a status byte inside
};

struct BankMessage
{
    std::size_t offset = 0;
    std::size_t length = 0;
    BankMessageKind kind = BankMessageKind::NotAMessage;
    int number = 0;        // the program or algorithm as its bytes name it; 0 for the other kinds
    int deviceNumber = 0;  // byte 4 + 1 for a message of this device, else 0
    unsigned char command = 0;
};

BankMessage ClassifyMessage(const unsigned char* message, std::size_t length);
// The longest run of printable ASCII in the message's data (past its header), without the
// spaces around it, when it is at least four characters long; the first of equal runs. Empty
// when there is none. What the bytes mean is the device's own: this is text, maybe a name.
std::string DumpText(const unsigned char* message, std::size_t length);
// Every message of the data, in order; together they cover every byte once.
std::vector<BankMessage> IndexBank(const unsigned char* data, std::size_t size);

enum class DumpComparison
{
    Same,
    Differs,         // at `offset`: `expected` (the row) against `actual` (the device)
    DifferentLength  // `expected` and `actual` hold the two lengths
};

struct DumpDifference
{
    DumpComparison result = DumpComparison::Same;
    std::size_t offset = 0;
    std::size_t expected = 0;
    std::size_t actual = 0;
};

// The bytes from `skip` on: the header that a send rewrites is left out.
DumpDifference CompareDumps(const unsigned char* expected, std::size_t expectedLength, const unsigned char* actual,
                            std::size_t actualLength, std::size_t skip);
