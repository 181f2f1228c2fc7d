#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "protocol/MessageEnd.h"
#include "protocol/SysExMessages.h"
#include "resources/resource.h"

namespace
{
using Bytes = std::vector<unsigned char>;

// Guard bytes after the message catch a builder that writes past its length.
Bytes Built(std::size_t length, const std::function<void(unsigned char*)>& build)
{
    Bytes buffer(length + 4, 0xAA);
    build(buffer.data());
    EXPECT_EQ(Bytes(4, 0xAA), Bytes(buffer.end() - 4, buffer.end())) << "wrote past the message";
    buffer.resize(length);
    return buffer;
}
}

// Device numbers go into byte 4 as number - 1; program numbers as bit 7 and the low seven
// bits of number - 1; algorithms as number - 1.
TEST(SysExMessages, EveryMessageIsByteExact)
{
    const struct { Bytes expected; std::function<void(unsigned char*)> build; } cases[] = {
        {{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x01, 0x00, 0x00, 0xF7}, [](auto b) { BuildProgramDumpRequest(b, 1, 1); }},
        {{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x01, 0x00, 0x7F, 0xF7}, [](auto b) { BuildProgramDumpRequest(b, 1, 128); }},
        {{0xF0, 0x00, 0x00, 0x10, 0x0F, 0x41, 0x01, 0x01, 0x00, 0xF7}, [](auto b) { BuildProgramDumpRequest(b, 16, 129); }},
        {{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x01, 0x01, 0x6F, 0xF7}, [](auto b) { BuildProgramDumpRequest(b, 1, 240); }},
        {{0xF0, 0x00, 0x00, 0x10, 0x01, 0x41, 0x31, 0x7E, 0xF7}, [](auto b) { BuildAlgorithmDumpRequest(b, 2, 127); }},
        {{0xF0, 0x00, 0x00, 0x10, 0x0F, 0x41, 0x49, 0xF7}, [](auto b) { BuildBulkDumpRequest(b, 16); }},
        {{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x21, 0xF7}, [](auto b) { BuildDeviceCommand21(b, 1); }},
        {{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x22, 0x02, 0x00, 0xF7}, [](auto b) { BuildDeviceCommand22(b, 1, 2); }},
        // Stamping re-addresses only the header (and a program's slot).
        {{0xF0, 0x00, 0x00, 0x10, 0x02, 0x41, 0x42, 0x00, 0x63, 0x11}, [](auto b) {
             const Bytes dump{0xF0, 0x00, 0x00, 0x10, 0x05, 0x41, 0x40, 0x01, 0x20, 0x11};
             std::copy(dump.begin(), dump.end(), b);
             StampProgramDump(b, 3, 100);
         }},
        {{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x30, 0x07}, [](auto b) { b[7] = 0x07, StampAlgorithmDump(b, 1); }},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, Built(c.expected.size(), c.build));
    EXPECT_EQ((std::vector<std::uint32_t>{0x00C0, 0x7FCF, 17 * 256 + 5 - 65}),
              (std::vector<std::uint32_t>{MakeProgramChange(1, 1), MakeProgramChange(16, 128), MakeProgramChange(5, 17)}));
}

TEST(SysExMessages, ErrorRepliesAndTheirStringNumbers)
{
    // (byte 0, byte 6, length, F0 required): an error reply or not.
    const struct { unsigned char start, command; std::size_t length; bool needsStart, isError; } replies[] = {
        {0xF0, 0x61, 12, true, true}, {0x00, 0x61, 12, true, false}, {0x00, 0x61, 12, false, true},
        {0xF0, 0x42, 12, false, false}, {0xF0, 0x61, 6, false, false}};  // the last too short to hold byte 6
    for (const auto& r : replies)
    {
        const Bytes reply{r.start, 0x7E, 0x7E, 0x7E, 0x7E, 0x7E, r.command, 0x00, 0x01, 0x00, 0x02, 0xF7};
        EXPECT_EQ(r.isError, IsErrorReply(reply.data(), r.length, r.needsStart)) << int(r.start) << " " << r.length;
    }

    const auto id = [](Bytes codes) {
        Bytes message{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x61};
        message.insert(message.end(), codes.begin(), codes.end());
        return ErrorReplyStringId(message.data(), message.size());
    };
    // Only the low 8 bits of each 14-bit code count: 01 7F is 255, 02 05 (261) is 5; missing code bytes read as 00.
    EXPECT_EQ((std::vector<unsigned>{IDS_DEVICE_ERROR_BASE, 213, 200 + 10 * 255, 250, 200 + 10 * 255 + 255, 210}),
              (std::vector<unsigned>{id({0, 0, 0, 0}), id({0, 1, 0, 3}), id({1, 0x7F, 0, 0}), id({2, 5, 0, 0}),
                                     id({0x7F, 0x7F, 0x7F, 0x7F}), id({0, 1})}));
}

// The bulk send walks a file message by message, each up to and including its F7; under Wine
// it leaves out the last message when it lacks its F7 (`leftOut`: its position from 1).
TEST(SysExMessages, MessagesEndAtEachF7OrAtTheEnd)
{
    const struct { Bytes data; std::vector<std::size_t> lengths; std::size_t leftOut; } cases[] = {
        {{0xF0, 0x01, 0xF7, 0xF0, 0x02, 0x03, 0xF7}, {3, 4}, 0},
        {{0xF0, 0xF7, 0x10, 0x11}, {2, 2}, 2},
        {{0xF0, 0x01, 0xF7, 0xF7, 0xF0, 0x05}, {3, 1, 2}, 3},
        {Bytes(10000, 0x42), {10000}, 1},
        {{0xF0, 0x01, 0xF7, 0xF7}, {3, 1}, 0},
        {{0xF7, 0xF0, 0x01, 0xF7}, {1, 3}, 0},
    };
    for (const auto& c : cases)
    {
        std::vector<std::size_t> lengths;
        for (std::size_t position = 0; position < c.data.size();)
        {
            const std::size_t end = FindMessageEnd(c.data.data(), c.data.size(), position);
            lengths.push_back(end - position + 1);
            position = end + 1;
        }
        EXPECT_EQ(c.lengths, lengths);
        Bytes sent = c.data;
        EXPECT_EQ(c.leftOut, LeaveOutUnendedMessage(sent));
        EXPECT_EQ(Bytes(c.data.begin(), c.data.end() - (c.leftOut ? c.lengths.back() : 0)), sent);
    }
}
