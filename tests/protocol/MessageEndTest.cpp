#include <gtest/gtest.h>

#include <vector>

#include "protocol/MessageEnd.h"

namespace
{
// Splits data the way the bulk send walks it: message by message.
std::vector<std::size_t> MessageLengths(const std::vector<unsigned char>& data)
{
    std::vector<std::size_t> lengths;
    for (std::size_t position = 0; position < data.size();)
    {
        const std::size_t end = FindMessageEnd(data.data(), data.size(), position);
        lengths.push_back(end - position + 1);
        position = end + 1;
    }
    return lengths;
}
}

TEST(MessageEnd, EachMessageEndsAtItsF7)
{
    std::vector<unsigned char> data{0xF0, 0x01, 0xF7, 0xF0, 0x02, 0x03, 0xF7};
    EXPECT_EQ((std::vector<std::size_t>{3, 4}), MessageLengths(data));
}

TEST(MessageEnd, BytesAfterTheLastF7FormOneMoreMessage)
{
    std::vector<unsigned char> data{0xF0, 0xF7, 0x10, 0x11};
    EXPECT_EQ((std::vector<std::size_t>{2, 2}), MessageLengths(data));
}

TEST(MessageEnd, DataWithoutF7IsOneMessage)
{
    std::vector<unsigned char> data(10000, 0x42);
    EXPECT_EQ((std::vector<std::size_t>{10000}), MessageLengths(data));
}

TEST(MessageEnd, TwoF7InARowMakeAOneByteMessage)
{
    std::vector<unsigned char> data{0xF0, 0x01, 0xF7, 0xF7};
    EXPECT_EQ((std::vector<std::size_t>{3, 1}), MessageLengths(data));
}

TEST(MessageEnd, SearchStartsAtThePosition)
{
    std::vector<unsigned char> data{0xF7, 0x00, 0xF7};
    EXPECT_EQ(0u, FindMessageEnd(data.data(), data.size(), 0));
    EXPECT_EQ(2u, FindMessageEnd(data.data(), data.size(), 1));
    EXPECT_EQ(2u, FindMessageEnd(data.data(), data.size(), 2));
}
