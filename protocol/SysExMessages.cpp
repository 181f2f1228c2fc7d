#include "protocol/SysExMessages.h"

#include "resources/resource.h"

namespace
{
unsigned char ByteAt(const unsigned char* bytes, std::size_t length, std::size_t offset)
{
    return offset < length ? bytes[offset] : 0;
}

// The device computes its codes in 8 bits: (high << 7) + low, wrapped at 256.
unsigned ErrorCode(unsigned char high, unsigned char low)
{
    return static_cast<unsigned char>((high << 7) + low);
}
}

void WriteSysExHeader(unsigned char* buffer, int deviceNumber, unsigned char command)
{
    buffer[0] = SysEx::Start;
    buffer[1] = 0x00;
    buffer[2] = 0x00;
    buffer[3] = 0x10;
    buffer[4] = static_cast<unsigned char>(deviceNumber - 1);
    buffer[5] = SysEx::ProductByte;
    buffer[6] = command;
}

unsigned char ProgramNumberHigh(int programNumber)
{
    return programNumber > 128 ? 0x01 : 0x00;
}

unsigned char ProgramNumberLow(int programNumber)
{
    return static_cast<unsigned char>((programNumber - 1) & 0x7F);
}

int ProgramNumber(unsigned char high, unsigned char low)
{
    return high * 128 + low + 1;
}

void BuildProgramDumpRequest(unsigned char* buffer, int deviceNumber, int programNumber)
{
    WriteSysExHeader(buffer, deviceNumber, SysEx::CommandProgramDumpRequest);
    buffer[7] = ProgramNumberHigh(programNumber);
    buffer[8] = ProgramNumberLow(programNumber);
    buffer[9] = SysEx::End;
}

void BuildAlgorithmDumpRequest(unsigned char* buffer, int deviceNumber, int algorithmNumber)
{
    WriteSysExHeader(buffer, deviceNumber, SysEx::CommandAlgorithmDumpRequest);
    buffer[7] = static_cast<unsigned char>(algorithmNumber - 1);
    buffer[8] = SysEx::End;
}

void BuildBulkDumpRequest(unsigned char* buffer, int deviceNumber)
{
    WriteSysExHeader(buffer, deviceNumber, SysEx::CommandBulkDumpRequest);
    buffer[7] = SysEx::End;
}

void StampProgramDump(unsigned char* buffer, int deviceNumber, int slot)
{
    WriteSysExHeader(buffer, deviceNumber, SysEx::CommandProgramDump);
    buffer[7] = ProgramNumberHigh(slot);
    buffer[8] = ProgramNumberLow(slot);
}

void StampAlgorithmDump(unsigned char* buffer, int deviceNumber)
{
    WriteSysExHeader(buffer, deviceNumber, SysEx::CommandAlgorithmDump);
}

void BuildDeviceCommand21(unsigned char* buffer, int deviceNumber)
{
    WriteSysExHeader(buffer, deviceNumber, SysEx::CommandDevice21);
    buffer[7] = SysEx::End;
}

void BuildDeviceCommand22(unsigned char* buffer, int deviceNumber, int selector)
{
    WriteSysExHeader(buffer, deviceNumber, SysEx::CommandDevice22);
    buffer[7] = static_cast<unsigned char>(selector);
    buffer[8] = 0x00;
    buffer[9] = SysEx::End;
}

std::uint32_t MakeProgramChange(int deviceNumber, int programChangeNumber)
{
    const std::uint32_t status = 0xC0 + ((deviceNumber - 1) & 0x0F);
    const std::uint32_t data = (programChangeNumber - 1) & 0x7F;
    return status | (data << 8);
}

bool IsErrorReply(const unsigned char* bytes, std::size_t length, bool requireSysExStart)
{
    if (requireSysExStart && ByteAt(bytes, length, 0) != SysEx::Start)
        return false;
    return ByteAt(bytes, length, 6) == SysEx::CommandErrorReply;
}

unsigned ErrorReplyStringId(const unsigned char* bytes, std::size_t length)
{
    const unsigned first = ErrorCode(ByteAt(bytes, length, 7), ByteAt(bytes, length, 8));
    const unsigned second = ErrorCode(ByteAt(bytes, length, 9), ByteAt(bytes, length, 10));
    return IDS_DEVICE_ERROR_BASE + 10 * first + second;
}
