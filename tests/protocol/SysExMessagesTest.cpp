#include <gtest/gtest.h>

#include <vector>

#include "protocol/SysExMessages.h"
#include "resources/resource.h"

namespace
{
using Bytes = std::vector<unsigned char>;

template <typename Build>
Bytes Built(std::size_t length, Build build)
{
    // Guard bytes after the message catch a builder that writes past its length.
    Bytes buffer(length + 4, 0xAA);
    build(buffer.data());
    EXPECT_EQ(Bytes(4, 0xAA), Bytes(buffer.end() - 4, buffer.end())) << "wrote past the message";
    buffer.resize(length);
    return buffer;
}
}

TEST(SysExMessages, RequestsAndCommandsAreByteExact)
{
    EXPECT_EQ((Bytes{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x01, 0x00, 0x00, 0xF7}),
              Built(10, [](unsigned char* b) { BuildProgramDumpRequest(b, 1, 1); }));
    EXPECT_EQ((Bytes{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x01, 0x01, 0x47, 0xF7}),
              Built(10, [](unsigned char* b) { BuildProgramDumpRequest(b, 1, 200); }));
    EXPECT_EQ((Bytes{0xF0, 0x00, 0x00, 0x10, 0x01, 0x41, 0x31, 0x04, 0xF7}),
              Built(9, [](unsigned char* b) { BuildAlgorithmDumpRequest(b, 2, 5); }));
    EXPECT_EQ((Bytes{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x49, 0xF7}),
              Built(8, [](unsigned char* b) { BuildBulkDumpRequest(b, 1); }));
    EXPECT_EQ((Bytes{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x21, 0xF7}),
              Built(8, [](unsigned char* b) { BuildDeviceCommand21(b, 1); }));
    EXPECT_EQ((Bytes{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x22, 0x02, 0x00, 0xF7}),
              Built(10, [](unsigned char* b) { BuildDeviceCommand22(b, 1, 2); }));
}

TEST(SysExMessages, DeviceNumberGoesIntoByteFour)
{
    EXPECT_EQ(0x00, Built(8, [](unsigned char* b) { BuildBulkDumpRequest(b, 1); })[4]);
    EXPECT_EQ(0x0F, Built(8, [](unsigned char* b) { BuildBulkDumpRequest(b, 16); })[4]);
    EXPECT_EQ(0x0F, Built(10, [](unsigned char* b) { BuildProgramDumpRequest(b, 16, 1); })[4]);
}

TEST(SysExMessages, ProgramNumbersSplitAtBitSeven)
{
    const struct
    {
        int number;
        unsigned char high, low;
    } cases[] = {{1, 0x00, 0x00}, {128, 0x00, 0x7F}, {129, 0x01, 0x00}, {240, 0x01, 0x6F}, {100, 0x00, 0x63}};
    for (const auto& c : cases)
    {
        const Bytes request = Built(10, [&](unsigned char* b) { BuildProgramDumpRequest(b, 1, c.number); });
        EXPECT_EQ(c.high, request[7]) << "program " << c.number;
        EXPECT_EQ(c.low, request[8]) << "program " << c.number;
    }
    EXPECT_EQ(0x00, Built(9, [](unsigned char* b) { BuildAlgorithmDumpRequest(b, 1, 1); })[7]);
    EXPECT_EQ(0x7E, Built(9, [](unsigned char* b) { BuildAlgorithmDumpRequest(b, 1, 127); })[7]);
}

TEST(SysExMessages, StampingReaddressesOnlyTheHeader)
{
    // A program dump as another device sent it: other device byte, command and number.
    Bytes program{0xF0, 0x00, 0x00, 0x10, 0x05, 0x41, 0x42, 0x01, 0x20, 0x11, 0x22, 0xF7};
    StampProgramDump(program.data(), 3, 100);
    EXPECT_EQ((Bytes{0xF0, 0x00, 0x00, 0x10, 0x02, 0x41, 0x42, 0x00, 0x63, 0x11, 0x22, 0xF7}), program);

    Bytes algorithm{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0x07, 0x01, 0xF7};
    StampAlgorithmDump(algorithm.data(), 1);
    EXPECT_EQ((Bytes{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x30, 0x07, 0x01, 0xF7}), algorithm);
}

TEST(SysExMessages, ProgramChangeUsesTheDeviceNumberAsChannel)
{
    EXPECT_EQ(0x00C0u, MakeProgramChange(1, 1));
    EXPECT_EQ(0x7FCFu, MakeProgramChange(16, 128));
    // value = number x 256 + device - 65
    EXPECT_EQ(static_cast<std::uint32_t>(17 * 256 + 5 - 65), MakeProgramChange(5, 17));
}

TEST(SysExMessages, ErrorRepliesAreRecognisedByBytesZeroAndSix)
{
    const Bytes reply{0xF0, 0x7E, 0x7E, 0x7E, 0x7E, 0x7E, 0x61, 0x00, 0x01, 0x00, 0x02, 0xF7};
    EXPECT_TRUE(IsErrorReply(reply.data(), reply.size(), true));
    EXPECT_TRUE(IsErrorReply(reply.data(), reply.size(), false));

    Bytes noStart = reply;
    noStart[0] = 0x00;
    EXPECT_FALSE(IsErrorReply(noStart.data(), noStart.size(), true));
    EXPECT_TRUE(IsErrorReply(noStart.data(), noStart.size(), false));

    Bytes dump = reply;
    dump[6] = 0x42;
    EXPECT_FALSE(IsErrorReply(dump.data(), dump.size(), false));
    // Too short to hold byte 6: never an error reply, and nothing is read past the end.
    EXPECT_FALSE(IsErrorReply(reply.data(), 6, false));
}

TEST(SysExMessages, ErrorCodesMapToStringNumbers)
{
    auto id = [](Bytes codes) {
        Bytes reply{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x61};
        reply.insert(reply.end(), codes.begin(), codes.end());
        return ErrorReplyStringId(reply.data(), reply.size());
    };
    EXPECT_EQ(200u, id({0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(212u, id({0x00, 0x01, 0x00, 0x02}));
    EXPECT_EQ(213u, id({0x00, 0x01, 0x00, 0x03}));
    // Only the low 8 bits of each 14-bit code count: 01 7F is 255, 02 05 (261) is 5.
    EXPECT_EQ(200u + 10 * 255 + 0, id({0x01, 0x7F, 0x00, 0x00}));
    EXPECT_EQ(250u, id({0x02, 0x05, 0x00, 0x00}));
    EXPECT_EQ(200u + 10 * 255 + 255, id({0x7F, 0x7F, 0x7F, 0x7F}));
    // A short reply reads missing code bytes as 00.
    EXPECT_EQ(210u, id({0x00, 0x01}));
    EXPECT_EQ(static_cast<unsigned>(IDS_DEVICE_ERROR_BASE), 200u);
}
