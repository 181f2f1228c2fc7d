#pragma once
#include "emulator/DeviceMemory.h"
#include "emulator/SysExAssembler.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The device at the other end of the MIDI cable: it answers program, algorithm and bulk dump
// requests addressed to its device number, stores the program and algorithm dumps it is sent,
// and records everything it receives so that tests can read it back.
//
// Pure logic with no clock and no threads: the emulated driver feeds it the bytes it
// transmits, paces the answers and serialises every access.
class EmulatedDevice
{
public:
    enum class ReplyMode
    {
        Normal,
        Silent,       // stores and records, but answers nothing (requests time out)
        ErrorReply,   // answers every request with the error reply 61
        TwoMessages,  // the answer, then the second message
        Malformed,    // the answer arrives as a malformed message (the driver reports an error)
        Endless,      // the answer, then messages without end until the input is reset or closed
    };

    // One message on its way to the program.
    struct Transmission
    {
        std::vector<std::uint8_t> bytes;
        bool malformed = false;
    };

    struct DeviceCommand
    {
        std::uint8_t command = 0;  // 21 or 22
        int selector = -1;         // byte 7 of command 22; -1 for command 21
    };

    EmulatedDevice();

    // 1 to 16; the device answers only messages whose byte 4 is this number minus 1.
    void SetDeviceNumber(int deviceNumber);
    int DeviceNumber() const;

    void SetReplyMode(ReplyMode mode);
    ReplyMode GetReplyMode() const;
    // The two 14-bit codes carried by the error reply.
    void SetErrorCodes(unsigned first, unsigned second);
    // The message sent after the answer in TwoMessages mode; program 1's message by default.
    void SetSecondMessage(std::vector<std::uint8_t> message);

    // Bytes from the program's MIDI output, in pieces of any size; returns what the device
    // sends back, in order.
    std::vector<Transmission> Receive(const std::uint8_t* bytes, std::size_t size);
    void ReceiveShortMessage(std::uint32_t message);

    // Endless mode: whether the device is streaming, and its next message.
    bool IsStreaming() const;
    Transmission NextStreamedMessage();
    void StopStreaming();

    // Messages exactly as the device sends them, stamped with the current device number.
    std::vector<std::uint8_t> ProgramMessage(int number) const;
    std::vector<std::uint8_t> AlgorithmMessage(int number) const;
    // Every program, then every algorithm, as the device sends them for a bulk dump request.
    std::vector<std::uint8_t> BulkDump() const;

    void SetProgramData(int number, DeviceMemory::Data data);
    void SetAlgorithmData(int number, DeviceMemory::Data data);
    DeviceMemory Snapshot() const;
    void Restore(const DeviceMemory& memory);

    // Every complete System Exclusive message received, addressed to this device or not.
    const std::vector<std::vector<std::uint8_t>>& ReceivedMessages() const;
    const std::vector<DeviceCommand>& DeviceCommands() const;
    const std::vector<std::uint32_t>& ShortMessages() const;
    void ClearRecords();

private:
    bool IsAddressedToMe(const std::vector<std::uint8_t>& message) const;
    void Handle(const std::vector<std::uint8_t>& message, std::vector<Transmission>& replies);
    void Answer(std::vector<std::vector<std::uint8_t>> answer,
                std::vector<Transmission>& replies);
    std::vector<std::uint8_t> ErrorReply() const;
    std::vector<std::uint8_t> Header(std::uint8_t command) const;
    std::vector<std::uint8_t> MessageAt(std::size_t position) const;

    DeviceMemory m_memory;
    SysExAssembler m_assembler;
    int m_deviceNumber = 1;
    ReplyMode m_replyMode = ReplyMode::Normal;
    unsigned m_firstErrorCode = 0;
    unsigned m_secondErrorCode = 0;
    std::vector<std::uint8_t> m_secondMessage;
    bool m_streaming = false;
    std::size_t m_streamPosition = 0;
    std::vector<std::vector<std::uint8_t>> m_received;
    std::vector<DeviceCommand> m_commands;
    std::vector<std::uint32_t> m_shortMessages;
};
