#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "protocol/DumpBuffer.h"

namespace
{
bool All(const DumpBuffer& buffer, unsigned from, unsigned to, unsigned char value)
{
    return std::all_of(buffer.m_bytes + from, buffer.m_bytes + to, [value](unsigned char b) { return b == value; });
}

// Puts the global-memory calls back when a test has replaced one.
class MemoryFault
{
public:
    MemoryFault() : m_saved(GlobalMemoryApi::Current()) {}
    ~MemoryFault() { GlobalMemoryApi::Current() = m_saved; }

private:
    GlobalMemoryApi m_saved;
};
}

TEST(DumpBuffer, InitResetAndFreeKeepTheBufferZeroFilledAndUsable)
{
    DumpBuffer buffer;
    EXPECT_FALSE(buffer.Init(0, 4096));
    buffer.Free();  // harmless before a successful Init
    ASSERT_TRUE(buffer.Init(4096, 4096));
    EXPECT_EQ(0u, buffer.m_length);
    EXPECT_EQ(4096u, buffer.m_capacity);
    EXPECT_TRUE(All(buffer, 0, 4096, 0));

    std::vector<unsigned char> bytes(10000, 0xFF);
    ASSERT_TRUE(buffer.Append(bytes.data(), 10000));
    ASSERT_TRUE(buffer.Reset());
    EXPECT_EQ(4096u, buffer.m_capacity);
    EXPECT_EQ(0u, buffer.m_length);
    EXPECT_TRUE(All(buffer, 0, 4096, 0));

    buffer.Free();
    buffer.Free();
    EXPECT_FALSE(buffer.Append("x", 1));
}

// The capacity grows by the step, or by the appended length when that is larger.
TEST(DumpBuffer, GrowsLinearlyByStepOrByTheAppendedLength)
{
    DumpBuffer buffer;
    ASSERT_TRUE(buffer.Init(4096, 4096));
    std::vector<unsigned char> bytes(5000, 0x5A);
    ASSERT_TRUE(buffer.Append(bytes.data(), 4000));
    ASSERT_TRUE(buffer.Append(bytes.data(), 200));
    EXPECT_EQ(8192u, buffer.m_capacity);
    EXPECT_EQ(4200u, buffer.m_length);
    EXPECT_TRUE(All(buffer, 4200, 8192, 0));
    buffer.Free();

    ASSERT_TRUE(buffer.Init(4096, 4096));
    ASSERT_TRUE(buffer.Append(bytes.data(), 4096));
    ASSERT_TRUE(buffer.Append(bytes.data(), 5000));
    EXPECT_EQ(9096u, buffer.m_capacity);
    EXPECT_EQ(9096u, buffer.m_length);
    EXPECT_TRUE(All(buffer, 0, 9096, 0x5A));
    // Appending nothing succeeds even when full.
    EXPECT_TRUE(buffer.Append(nullptr, 0));
    EXPECT_EQ(9096u, buffer.m_capacity);
    // Growth past four gigabytes is refused.
    EXPECT_FALSE(buffer.Append(bytes.data(), 0xFFFFFFFFu));
    EXPECT_EQ(9096u, buffer.m_length);
    buffer.Free();
}

TEST(DumpBuffer, FailedGrowthKeepsTheBytesAndAFailedLockRefusesUntilReset)
{
    DumpBuffer buffer;
    ASSERT_TRUE(buffer.Init(8, 8));
    ASSERT_TRUE(buffer.Append("12345678", 8));
    {
        MemoryFault fault;
        GlobalMemoryApi::Current().reAlloc = [](HGLOBAL, SIZE_T, UINT) -> HGLOBAL { return nullptr; };
        EXPECT_FALSE(buffer.Append("9", 1));
    }
    EXPECT_EQ(8u, buffer.m_capacity);
    EXPECT_EQ(8u, buffer.m_length);
    EXPECT_EQ(0, std::memcmp(buffer.m_bytes, "12345678", 8));
    EXPECT_TRUE(buffer.Append("9", 1));
    EXPECT_EQ(9u, buffer.m_length);
    buffer.Free();

    ASSERT_TRUE(buffer.Init(8, 8));
    ASSERT_TRUE(buffer.Append("12345678", 8));
    {
        MemoryFault fault;
        GlobalMemoryApi::Current().lock = [](HGLOBAL) -> LPVOID { return nullptr; };
        EXPECT_FALSE(buffer.Append("9", 1));
    }
    EXPECT_FALSE(buffer.Append("9", 1));
    ASSERT_TRUE(buffer.Reset());
    EXPECT_TRUE(buffer.Append("9", 1));
    buffer.Free();
}
