#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "protocol/DumpBuffer.h"

namespace
{
bool ZeroFrom(const DumpBuffer& buffer, unsigned offset)
{
    return std::all_of(buffer.m_bytes + offset, buffer.m_bytes + buffer.m_capacity,
                       [](unsigned char b) { return b == 0; });
}

// Replaces one global-memory call for the length of a test.
class MemoryFault
{
public:
    MemoryFault() : m_saved(GlobalMemoryApi::Current()) {}
    ~MemoryFault() { GlobalMemoryApi::Current() = m_saved; }

private:
    GlobalMemoryApi m_saved;
};

HGLOBAL WINAPI FailingReAlloc(HGLOBAL, SIZE_T, UINT)
{
    return nullptr;
}

int g_locksBeforeFailure = 0;
LPVOID WINAPI LockThatFailsLater(HGLOBAL block)
{
    if (g_locksBeforeFailure-- > 0)
        return GlobalLock(block);
    return nullptr;
}
}

TEST(DumpBuffer, InitGivesAZeroFilledEmptyBuffer)
{
    DumpBuffer buffer;
    ASSERT_TRUE(buffer.Init(4096, 4096));
    EXPECT_EQ(0u, buffer.m_length);
    EXPECT_EQ(4096u, buffer.m_capacity);
    EXPECT_TRUE(ZeroFrom(buffer, 0));
    buffer.Free();
}

TEST(DumpBuffer, InitWithCapacityZeroFails)
{
    DumpBuffer buffer;
    EXPECT_FALSE(buffer.Init(0, 4096));
    buffer.Free();
}

TEST(DumpBuffer, GrowsLinearlyByStepOrByTheAppendedLength)
{
    DumpBuffer buffer;
    ASSERT_TRUE(buffer.Init(4096, 4096));
    std::vector<unsigned char> bytes(5000, 0x5A);

    ASSERT_TRUE(buffer.Append(bytes.data(), 4000));
    ASSERT_TRUE(buffer.Append(bytes.data(), 200));
    EXPECT_EQ(8192u, buffer.m_capacity);
    EXPECT_EQ(4200u, buffer.m_length);
    EXPECT_TRUE(ZeroFrom(buffer, 4200));
    buffer.Free();

    ASSERT_TRUE(buffer.Init(4096, 4096));
    ASSERT_TRUE(buffer.Append(bytes.data(), 4096));
    ASSERT_TRUE(buffer.Append(bytes.data(), 5000));
    EXPECT_EQ(9096u, buffer.m_capacity);
    EXPECT_EQ(9096u, buffer.m_length);
    EXPECT_TRUE(std::all_of(buffer.m_bytes, buffer.m_bytes + 9096, [](unsigned char b) { return b == 0x5A; }));
    buffer.Free();
}

TEST(DumpBuffer, AppendingNothingSucceedsEvenWhenFull)
{
    DumpBuffer buffer;
    ASSERT_TRUE(buffer.Init(16, 16));
    std::vector<unsigned char> bytes(16, 1);
    ASSERT_TRUE(buffer.Append(bytes.data(), 16));
    EXPECT_TRUE(buffer.Append(nullptr, 0));
    EXPECT_EQ(16u, buffer.m_capacity);
    EXPECT_EQ(16u, buffer.m_length);
    buffer.Free();
}

TEST(DumpBuffer, ResetReturnsToTheInitialSizeAllZero)
{
    DumpBuffer buffer;
    ASSERT_TRUE(buffer.Init(4096, 4096));
    std::vector<unsigned char> bytes(10000, 0xFF);
    ASSERT_TRUE(buffer.Append(bytes.data(), 10000));
    ASSERT_TRUE(buffer.Reset());
    EXPECT_EQ(4096u, buffer.m_capacity);
    EXPECT_EQ(0u, buffer.m_length);
    EXPECT_TRUE(ZeroFrom(buffer, 0));
    buffer.Free();
}

TEST(DumpBuffer, FreeIsHarmlessBeforeInitAndTwice)
{
    DumpBuffer never;
    never.Free();
    DumpBuffer twice;
    ASSERT_TRUE(twice.Init(64, 64));
    twice.Free();
    twice.Free();
    EXPECT_FALSE(twice.Append("x", 1));
}

TEST(DumpBuffer, FailedGrowthKeepsTheBytes)
{
    DumpBuffer buffer;
    ASSERT_TRUE(buffer.Init(8, 8));
    ASSERT_TRUE(buffer.Append("12345678", 8));
    {
        MemoryFault fault;
        GlobalMemoryApi::Current().reAlloc = FailingReAlloc;
        EXPECT_FALSE(buffer.Append("9", 1));
    }
    EXPECT_EQ(8u, buffer.m_capacity);
    EXPECT_EQ(8u, buffer.m_length);
    EXPECT_EQ(0, std::memcmp(buffer.m_bytes, "12345678", 8));
    EXPECT_TRUE(buffer.Append("9", 1));
    EXPECT_EQ(9u, buffer.m_length);
    buffer.Free();
}

TEST(DumpBuffer, AfterAFailedLockAppendRefusesUntilReset)
{
    DumpBuffer buffer;
    ASSERT_TRUE(buffer.Init(8, 8));
    ASSERT_TRUE(buffer.Append("12345678", 8));
    {
        MemoryFault fault;
        g_locksBeforeFailure = 0;
        GlobalMemoryApi::Current().lock = LockThatFailsLater;
        EXPECT_FALSE(buffer.Append("9", 1));
    }
    EXPECT_FALSE(buffer.Append("9", 1));
    ASSERT_TRUE(buffer.Reset());
    EXPECT_TRUE(buffer.Append("9", 1));
    buffer.Free();
}

TEST(DumpBuffer, GrowthPastFourGigabytesIsRefused)
{
    DumpBuffer buffer;
    ASSERT_TRUE(buffer.Init(4096, 4096));
    std::vector<unsigned char> bytes(1, 1);
    EXPECT_FALSE(buffer.Append(bytes.data(), 0xFFFFFFFFu));
    EXPECT_EQ(0u, buffer.m_length);
    buffer.Free();
}
