#include "emulator/EmulatedDevice.h"
#include "protocol/SysExMessages.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{
using Bytes = std::vector<std::uint8_t>;

Bytes ProgramRequest(int deviceNumber, int program)
{
    Bytes request(SysEx::ProgramDumpRequestLength);
    BuildProgramDumpRequest(request.data(), deviceNumber, program);
    return request;
}

Bytes AlgorithmRequest(int deviceNumber, int algorithm)
{
    Bytes request(SysEx::AlgorithmDumpRequestLength);
    BuildAlgorithmDumpRequest(request.data(), deviceNumber, algorithm);
    return request;
}

Bytes BulkRequest(int deviceNumber)
{
    Bytes request(SysEx::BulkDumpRequestLength);
    BuildBulkDumpRequest(request.data(), deviceNumber);
    return request;
}

std::vector<EmulatedDevice::Transmission> Send(EmulatedDevice& device, const Bytes& bytes)
{
    return device.Receive(bytes.data(), bytes.size());
}

// As the program sends a long dump: pieces of at most 4096 bytes.
void SendInPieces(EmulatedDevice& device, const Bytes& bytes, std::size_t piece = 4096)
{
    for (std::size_t offset = 0; offset < bytes.size(); offset += piece)
        device.Receive(bytes.data() + offset, std::min(piece, bytes.size() - offset));
}

Bytes Concatenate(const std::vector<EmulatedDevice::Transmission>& replies)
{
    Bytes all;
    for (const auto& reply : replies)
        all.insert(all.end(), reply.bytes.begin(), reply.bytes.end());
    return all;
}
}

// Other tests rely on these: no status byte inside the data, and programs 199 to 201 just
// at, beyond and one past the size of an input buffer.
TEST(EmulatedDeviceTest, FactoryMemoryIsRepeatableAndShapedLikeARealDevice)
{
    EmulatedDevice device;
    EXPECT_TRUE(device.Snapshot() == EmulatedDevice().Snapshot());
    const Bytes bulk = device.BulkDump();
    for (std::size_t i = 0; i < bulk.size(); ++i)
        ASSERT_TRUE(bulk[i] < 0x80 || bulk[i] == 0xF0 || bulk[i] == 0xF7) << "status byte at " << i;
    EXPECT_EQ(std::count(bulk.begin(), bulk.end(), 0xF7), DeviceMemory::ProgramCount + DeviceMemory::AlgorithmCount);
    EXPECT_EQ(device.ProgramMessage(199).size(), 4096u);
    EXPECT_EQ(device.ProgramMessage(200).size(), 5000u);
    EXPECT_EQ(device.ProgramMessage(201).size(), 4097u);
}

TEST(EmulatedDeviceTest, MessagesCarryTheNumberAndTheCurrentDeviceNumber)
{
    EmulatedDevice device;
    const Bytes program129 = device.ProgramMessage(129);
    EXPECT_EQ(Bytes(program129.begin(), program129.begin() + 9),
              (Bytes{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x42, 0x01, 0x00}));
    EXPECT_EQ(program129.back(), 0xF7);
    EXPECT_EQ(device.ProgramMessage(128)[7], 0x00);
    EXPECT_EQ(device.ProgramMessage(128)[8], 0x7F);

    device.SetDeviceNumber(16);
    const Bytes algorithm127 = device.AlgorithmMessage(127);
    EXPECT_EQ(Bytes(algorithm127.begin(), algorithm127.begin() + 8),
              (Bytes{0xF0, 0x00, 0x00, 0x10, 0x0F, 0x41, 0x30, 0x7E}));
    const Bytes restamped = device.ProgramMessage(129);
    EXPECT_EQ(restamped[4], 0x0F);
    EXPECT_EQ(Bytes(program129.begin() + 5, program129.end()),
              Bytes(restamped.begin() + 5, restamped.end()));
}

TEST(EmulatedDeviceTest, AnswersEachRequestWithTheStoredMessage)
{
    EmulatedDevice device;
    for (int program : {1, 128, 129, 200, 240})
        EXPECT_EQ(Concatenate(Send(device, ProgramRequest(1, program))),
                  device.ProgramMessage(program))
            << "program " << program;
    EXPECT_EQ(Concatenate(Send(device, AlgorithmRequest(1, 127))), device.AlgorithmMessage(127));

    const auto bulk = Send(device, BulkRequest(1));
    ASSERT_EQ(bulk.size(), 240u + 127u);
    EXPECT_EQ(bulk.front().bytes, device.ProgramMessage(1));
    EXPECT_EQ(bulk[240].bytes, device.AlgorithmMessage(1));
    EXPECT_EQ(Concatenate(bulk), device.BulkDump());
}

TEST(EmulatedDeviceTest, IgnoresWhatIsNotAddressedToItButRecordsIt)
{
    EmulatedDevice device;
    device.SetDeviceNumber(3);
    EXPECT_TRUE(Send(device, ProgramRequest(1, 5)).empty());
    Bytes otherProduct = ProgramRequest(3, 5);
    otherProduct[5] = 0x42;
    EXPECT_TRUE(Send(device, otherProduct).empty());
    Bytes dumpForDevice4 = device.ProgramMessage(7);
    StampProgramDump(dumpForDevice4.data(), 4, 1);
    const DeviceMemory before = device.Snapshot();
    Send(device, dumpForDevice4);
    EXPECT_TRUE(device.Snapshot() == before);

    EXPECT_EQ(Concatenate(Send(device, ProgramRequest(3, 5))), device.ProgramMessage(5));
    EXPECT_EQ(device.ReceivedMessages(),
              (std::vector<Bytes>{ProgramRequest(1, 5), otherProduct, dumpForDevice4,
                                  ProgramRequest(3, 5)}));
}

TEST(EmulatedDeviceTest, StoresDumpsThatArriveInPieces)
{
    EmulatedDevice device;
    Bytes programDump = device.ProgramMessage(200);  // 5000 bytes: two pieces
    StampProgramDump(programDump.data(), 1, 100);
    SendInPieces(device, programDump);
    EXPECT_EQ(device.Snapshot().Program(100), device.Snapshot().Program(200));

    Bytes algorithmDump = device.AlgorithmMessage(2);
    algorithmDump[7] = 8;  // the target travels in the data: algorithm 9
    // Clock bytes may come between the bytes of a message; they are not part of it.
    algorithmDump.insert(algorithmDump.begin() + 20, 0xF8);
    SendInPieces(device, algorithmDump, 7);
    EXPECT_EQ(device.Snapshot().Algorithm(9), device.Snapshot().Algorithm(2));
}

TEST(EmulatedDeviceTest, AnUnfinishedMessageIsDroppedByTheNextStartOrStatus)
{
    EmulatedDevice device;
    const DeviceMemory before = device.Snapshot();
    Bytes cut = device.ProgramMessage(3);
    StampProgramDump(cut.data(), 1, 4);
    cut.resize(cut.size() / 2);
    Send(device, cut);
    EXPECT_EQ(Concatenate(Send(device, ProgramRequest(1, 2))), device.ProgramMessage(2));
    Send(device, cut);
    Send(device, Bytes{0x90, 0x40, 0x7F, 0xF7});
    EXPECT_TRUE(device.Snapshot() == before);
    EXPECT_EQ(device.ReceivedMessages().size(), 1u);
}

TEST(EmulatedDeviceTest, ReplyModes)
{
    EmulatedDevice device;
    device.SetDeviceNumber(2);
    device.SetReplyMode(EmulatedDevice::ReplyMode::Silent);
    EXPECT_TRUE(Send(device, ProgramRequest(2, 1)).empty());

    device.SetReplyMode(EmulatedDevice::ReplyMode::ErrorReply);
    device.SetErrorCodes(1, 0x3FFF);
    for (const Bytes& request : {ProgramRequest(2, 1), AlgorithmRequest(2, 1), BulkRequest(2)})
        EXPECT_EQ(Concatenate(Send(device, request)),
                  (Bytes{0xF0, 0x00, 0x00, 0x10, 0x01, 0x41, 0x61, 0x00, 0x01, 0x7F, 0x7F, 0xF7}));

    device.SetReplyMode(EmulatedDevice::ReplyMode::TwoMessages);
    const auto two = Send(device, AlgorithmRequest(2, 3));
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].bytes, device.AlgorithmMessage(3));
    EXPECT_EQ(two[1].bytes, device.ProgramMessage(1));

    device.SetReplyMode(EmulatedDevice::ReplyMode::Malformed);
    const auto malformed = Send(device, ProgramRequest(2, 9));
    ASSERT_EQ(malformed.size(), 1u);
    EXPECT_TRUE(malformed[0].malformed);

    device.SetReplyMode(EmulatedDevice::ReplyMode::Endless);
    EXPECT_EQ(Concatenate(Send(device, ProgramRequest(2, 9))), device.ProgramMessage(9));
    ASSERT_TRUE(device.IsStreaming());
    EXPECT_EQ(device.NextStreamedMessage().bytes, device.ProgramMessage(1));
    EXPECT_EQ(device.NextStreamedMessage().bytes, device.ProgramMessage(2));
    device.StopStreaming();
    EXPECT_FALSE(device.IsStreaming());
}

TEST(EmulatedDeviceTest, RecordsDeviceCommandsAndShortMessages)
{
    EmulatedDevice device;
    Bytes command21(SysEx::DeviceCommand21Length);
    BuildDeviceCommand21(command21.data(), 1);
    Bytes command22(SysEx::DeviceCommand22Length);
    BuildDeviceCommand22(command22.data(), 1, 2);
    EXPECT_TRUE(Send(device, command21).empty());
    EXPECT_TRUE(Send(device, command22).empty());
    device.ReceiveShortMessage(MakeProgramChange(1, 5));

    ASSERT_EQ(device.DeviceCommands().size(), 2u);
    EXPECT_EQ(device.DeviceCommands()[0].command, 0x21);
    EXPECT_EQ(device.DeviceCommands()[1].command, 0x22);
    EXPECT_EQ(device.DeviceCommands()[1].selector, 2);
    EXPECT_EQ(device.ShortMessages(), std::vector<std::uint32_t>{0x04C0});
}
