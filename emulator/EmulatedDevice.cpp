#include "emulator/EmulatedDevice.h"

#include "protocol/SysExMessages.h"

namespace
{
constexpr std::size_t MessageCount = DeviceMemory::ProgramCount + DeviceMemory::AlgorithmCount;

// F0, the six header bytes after it, and F7: the shortest message the device acts on.
constexpr std::size_t ShortestCommand = SysEx::HeaderLength + 1;

using Bytes = std::vector<std::uint8_t>;

void AppendData(Bytes& message, const DeviceMemory::Data& data)
{
    message.insert(message.end(), data.begin(), data.end());
    message.push_back(SysEx::End);
}

// The data of a dump: everything between its addressing bytes and its closing F7.
DeviceMemory::Data DumpData(const Bytes& message, std::size_t firstDataByte)
{
    return DeviceMemory::Data(message.begin() + static_cast<std::ptrdiff_t>(firstDataByte),
                              message.end() - 1);
}
}

EmulatedDevice::EmulatedDevice() : m_memory(DeviceMemory::Factory())
{
}

void EmulatedDevice::SetDeviceNumber(int deviceNumber)
{
    m_deviceNumber = deviceNumber;
}

int EmulatedDevice::DeviceNumber() const
{
    return m_deviceNumber;
}

void EmulatedDevice::SetReplyMode(ReplyMode mode)
{
    m_replyMode = mode;
    if (mode != ReplyMode::Endless)
        m_streaming = false;
}

EmulatedDevice::ReplyMode EmulatedDevice::GetReplyMode() const
{
    return m_replyMode;
}

void EmulatedDevice::SetErrorCodes(unsigned first, unsigned second)
{
    m_firstErrorCode = first;
    m_secondErrorCode = second;
}

void EmulatedDevice::SetSecondMessage(std::vector<std::uint8_t> message)
{
    m_secondMessage = std::move(message);
}

std::vector<EmulatedDevice::Transmission> EmulatedDevice::Receive(const std::uint8_t* bytes,
                                                                  std::size_t size)
{
    std::vector<SysExAssembler::Message> messages;
    m_assembler.Feed(bytes, size, messages);
    std::vector<Transmission> replies;
    for (const auto& message : messages)
        Handle(message, replies);
    return replies;
}

void EmulatedDevice::ReceiveShortMessage(std::uint32_t message)
{
    m_shortMessages.push_back(message);
}

bool EmulatedDevice::IsStreaming() const
{
    return m_streaming;
}

EmulatedDevice::Transmission EmulatedDevice::NextStreamedMessage()
{
    Transmission next{MessageAt(m_streamPosition), false};
    m_streamPosition = (m_streamPosition + 1) % MessageCount;
    return next;
}

void EmulatedDevice::StopStreaming()
{
    m_streaming = false;
}

std::vector<std::uint8_t> EmulatedDevice::ProgramMessage(int number) const
{
    Bytes message = Header(SysEx::CommandProgramDump);
    message.push_back(ProgramNumberHigh(number));
    message.push_back(ProgramNumberLow(number));
    AppendData(message, m_memory.Program(number));
    return message;
}

std::vector<std::uint8_t> EmulatedDevice::AlgorithmMessage(int number) const
{
    Bytes message = Header(SysEx::CommandAlgorithmDump);
    message.push_back(static_cast<std::uint8_t>(number - 1));
    AppendData(message, m_memory.Algorithm(number));
    return message;
}

std::vector<std::uint8_t> EmulatedDevice::BulkDump() const
{
    Bytes dump;
    for (std::size_t position = 0; position < MessageCount; ++position)
    {
        const Bytes message = MessageAt(position);
        dump.insert(dump.end(), message.begin(), message.end());
    }
    return dump;
}

void EmulatedDevice::SetProgramData(int number, DeviceMemory::Data data)
{
    m_memory.SetProgram(number, std::move(data));
}

void EmulatedDevice::SetAlgorithmData(int number, DeviceMemory::Data data)
{
    m_memory.SetAlgorithm(number, std::move(data));
}

DeviceMemory EmulatedDevice::Snapshot() const
{
    return m_memory;
}

void EmulatedDevice::Restore(const DeviceMemory& memory)
{
    m_memory = memory;
}

const std::vector<std::vector<std::uint8_t>>& EmulatedDevice::ReceivedMessages() const
{
    return m_received;
}

const std::vector<EmulatedDevice::DeviceCommand>& EmulatedDevice::DeviceCommands() const
{
    return m_commands;
}

const std::vector<std::uint32_t>& EmulatedDevice::ShortMessages() const
{
    return m_shortMessages;
}

void EmulatedDevice::ClearRecords()
{
    m_received.clear();
    m_commands.clear();
    m_shortMessages.clear();
}

bool EmulatedDevice::IsAddressedToMe(const Bytes& message) const
{
    return message.size() >= ShortestCommand && message[1] == 0x00 && message[2] == 0x00 &&
           message[3] == 0x10 && message[4] == static_cast<std::uint8_t>(m_deviceNumber - 1) &&
           message[5] == SysEx::ProductByte;
}

void EmulatedDevice::Handle(const Bytes& message, std::vector<Transmission>& replies)
{
    m_received.push_back(message);
    if (!IsAddressedToMe(message))
        return;

    const std::size_t size = message.size();
    switch (message[6])
    {
    case SysEx::CommandProgramDumpRequest:
        if (size >= SysEx::ProgramDumpRequestLength)
        {
            const int number = ProgramNumber(message[7], message[8]);
            if (number <= DeviceMemory::ProgramCount)
                Answer({ProgramMessage(number)}, replies);
        }
        break;
    case SysEx::CommandAlgorithmDumpRequest:
        if (size >= SysEx::AlgorithmDumpRequestLength && message[7] < DeviceMemory::AlgorithmCount)
            Answer({AlgorithmMessage(message[7] + 1)}, replies);
        break;
    case SysEx::CommandBulkDumpRequest:
    {
        std::vector<Bytes> everything;
        for (std::size_t position = 0; position < MessageCount; ++position)
            everything.push_back(MessageAt(position));
        Answer(std::move(everything), replies);
        break;
    }
    case SysEx::CommandProgramDump:
        if (size >= SysEx::ProgramDumpStampLength + 1)
        {
            const int slot = ProgramNumber(message[7], message[8]);
            if (slot <= DeviceMemory::ProgramCount)
                m_memory.SetProgram(slot, DumpData(message, SysEx::ProgramDumpStampLength));
        }
        break;
    case SysEx::CommandAlgorithmDump:
        if (size >= SysEx::AlgorithmDumpStampLength + 2 &&
            message[7] < DeviceMemory::AlgorithmCount)
            m_memory.SetAlgorithm(message[7] + 1,
                                  DumpData(message, SysEx::AlgorithmDumpStampLength + 1));
        break;
    case SysEx::CommandDevice21:
        m_commands.push_back({SysEx::CommandDevice21, -1});
        break;
    case SysEx::CommandDevice22:
        m_commands.push_back({SysEx::CommandDevice22, size > 8 ? message[7] : -1});
        break;
    default:
        break;
    }
}

void EmulatedDevice::Answer(std::vector<Bytes> answer, std::vector<Transmission>& replies)
{
    switch (m_replyMode)
    {
    case ReplyMode::Silent:
        return;
    case ReplyMode::ErrorReply:
        replies.push_back({ErrorReply(), false});
        return;
    case ReplyMode::Normal:
    case ReplyMode::TwoMessages:
    case ReplyMode::Malformed:
    case ReplyMode::Endless:
        break;
    }
    for (auto& message : answer)
        replies.push_back({std::move(message), m_replyMode == ReplyMode::Malformed});
    if (m_replyMode == ReplyMode::TwoMessages)
        replies.push_back({m_secondMessage.empty() ? ProgramMessage(1) : m_secondMessage, false});
    if (m_replyMode == ReplyMode::Endless)
    {
        m_streaming = true;
        m_streamPosition = 0;
    }
}

std::vector<std::uint8_t> EmulatedDevice::ErrorReply() const
{
    Bytes reply = Header(SysEx::CommandErrorReply);
    for (unsigned code : {m_firstErrorCode, m_secondErrorCode})
    {
        reply.push_back(static_cast<std::uint8_t>((code >> 7) & 0x7F));
        reply.push_back(static_cast<std::uint8_t>(code & 0x7F));
    }
    reply.push_back(SysEx::End);
    return reply;
}

std::vector<std::uint8_t> EmulatedDevice::Header(std::uint8_t command) const
{
    Bytes header(SysEx::HeaderLength);
    WriteSysExHeader(header.data(), m_deviceNumber, command);
    return header;
}

// Position 0 to 239 are the programs, then the algorithms: the order of a bulk dump.
std::vector<std::uint8_t> EmulatedDevice::MessageAt(std::size_t position) const
{
    const int number = static_cast<int>(position) + 1;
    return number <= DeviceMemory::ProgramCount
               ? ProgramMessage(number)
               : AlgorithmMessage(number - DeviceMemory::ProgramCount);
}
