#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>
#include <vector>

#include "protocol/DumpBuffer.h"

namespace
{
bool All(const DumpBuffer& buffer, unsigned from, unsigned to, unsigned char value)
{
    return std::all_of(buffer.m_bytes + from, buffer.m_bytes + to, [value](unsigned char b) { return b == value; });
}
}

// Zero-filled, and grown by the step or by the appended length when that is larger; a reset
// goes back to the first capacity; nothing works after Free, which may come twice.
TEST(DumpBuffer, GrowsByTheStepOrTheAppendedLengthAndStaysZeroFilled)
{
    DumpBuffer buffer;
    EXPECT_FALSE(buffer.Init(0, 4096));
    buffer.Free();
    ASSERT_TRUE(buffer.Init(4096, 4096));
    const std::vector<unsigned char> bytes(5000, 0x5A);
    ASSERT_TRUE(buffer.Append(bytes.data(), 4000));
    ASSERT_TRUE(buffer.Append(bytes.data(), 200));
    EXPECT_EQ(8192u, buffer.m_capacity);
    EXPECT_TRUE(All(buffer, 4200, 8192, 0));
    ASSERT_TRUE(buffer.Append(bytes.data(), 5000));
    EXPECT_EQ(std::make_tuple(8192u + 5000u, 9200u), std::tie(buffer.m_capacity, buffer.m_length));
    EXPECT_TRUE(buffer.Append(nullptr, 0));
    EXPECT_FALSE(buffer.Append(bytes.data(), 0xFFFFFFFFu)) << "growth past four gigabytes";
    ASSERT_TRUE(buffer.Reset());
    EXPECT_EQ(std::make_tuple(4096u, 0u), std::tie(buffer.m_capacity, buffer.m_length));
    EXPECT_TRUE(All(buffer, 0, 4096, 0));
    buffer.Free();
    buffer.Free();
    EXPECT_FALSE(buffer.Append("x", 1));
}

// A failed enlargement keeps what the buffer held; a failed lock refuses until a reset.
TEST(DumpBuffer, FailuresOfTheGlobalMemoryCalls)
{
    const GlobalMemoryApi saved = GlobalMemoryApi::Current();
    DumpBuffer buffer;
    ASSERT_TRUE(buffer.Init(8, 8));
    ASSERT_TRUE(buffer.Append("12345678", 8));
    GlobalMemoryApi::Current().reAlloc = [](HGLOBAL, SIZE_T, UINT) -> HGLOBAL { return nullptr; };
    EXPECT_FALSE(buffer.Append("9", 1));
    GlobalMemoryApi::Current() = saved;
    EXPECT_EQ("12345678", std::string(reinterpret_cast<const char*>(buffer.m_bytes), buffer.m_length));
    EXPECT_TRUE(buffer.Append("9", 1));

    GlobalMemoryApi::Current().lock = [](HGLOBAL) -> LPVOID { return nullptr; };
    EXPECT_FALSE(buffer.Append(std::vector<char>(8).data(), 8));
    GlobalMemoryApi::Current() = saved;
    EXPECT_FALSE(buffer.Append("9", 1));
    ASSERT_TRUE(buffer.Reset());
    EXPECT_TRUE(buffer.Append("9", 1));
    buffer.Free();
}
