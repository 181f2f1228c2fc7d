// Byte layout of every message exchanged with the device. Pure logic: no Windows headers,
// so it builds and is tested natively as well.
//
// Every SysEx message starts with F0 00 00 10 <device number - 1> 41 <command> and ends
// with F7. Builders write from offset 0 of a caller's buffer (in practice the 4096-byte
// output buffer) and write exactly their fixed length.
#pragma once
#include <cstddef>
#include <cstdint>

namespace SysEx
{
constexpr unsigned char Start = 0xF0;
constexpr unsigned char End = 0xF7;
constexpr unsigned char ProductByte = 0x41;

constexpr unsigned char CommandProgramDumpRequest = 0x01;
constexpr unsigned char CommandAlgorithmDumpRequest = 0x31;
constexpr unsigned char CommandBulkDumpRequest = 0x49;
constexpr unsigned char CommandProgramDump = 0x42;
constexpr unsigned char CommandAlgorithmDump = 0x30;
constexpr unsigned char CommandDevice21 = 0x21;
constexpr unsigned char CommandDevice22 = 0x22;
constexpr unsigned char CommandErrorReply = 0x61;

constexpr std::size_t HeaderLength = 7;
constexpr std::size_t ProgramDumpRequestLength = 10;
constexpr std::size_t AlgorithmDumpRequestLength = 9;
constexpr std::size_t BulkDumpRequestLength = 8;
constexpr std::size_t DeviceCommand21Length = 8;
constexpr std::size_t DeviceCommand22Length = 10;
constexpr std::size_t ProgramDumpStampLength = 9;
constexpr std::size_t AlgorithmDumpStampLength = 7;
}

void WriteSysExHeader(unsigned char* buffer, int deviceNumber, unsigned char command);
void BuildProgramDumpRequest(unsigned char* buffer, int deviceNumber, int programNumber);
void BuildAlgorithmDumpRequest(unsigned char* buffer, int deviceNumber, int algorithmNumber);
void BuildBulkDumpRequest(unsigned char* buffer, int deviceNumber);
// Re-addresses a loaded program dump: header with command 42, then the slot in bytes 7-8.
void StampProgramDump(unsigned char* buffer, int deviceNumber, int slot);
// Re-addresses a loaded algorithm dump: header with command 30; byte 7 on stays as loaded.
void StampAlgorithmDump(unsigned char* buffer, int deviceNumber);
void BuildDeviceCommand21(unsigned char* buffer, int deviceNumber);
void BuildDeviceCommand22(unsigned char* buffer, int deviceNumber, int selector);
// Program change on channel = device number, packed for a MIDI short message.
std::uint32_t MakeProgramChange(int deviceNumber, int programChangeNumber);

// Program numbers travel as bit 7 and the low seven bits of (n - 1).
unsigned char ProgramNumberHigh(int programNumber);
unsigned char ProgramNumberLow(int programNumber);
// The number that bytes 7-8 of a program dump or request name.
int ProgramNumber(unsigned char high, unsigned char low);

// Only bytes 0 and 6 are examined; bytes at or past `length` read as 00.
bool IsErrorReply(const unsigned char* bytes, std::size_t length, bool requireSysExStart);
// 200 + 10 x A + B, where A and B are the two 14-bit codes reduced to 8 bits.
unsigned ErrorReplyStringId(const unsigned char* bytes, std::size_t length);
