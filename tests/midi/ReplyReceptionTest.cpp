// A single SysEx reply received through the three rotating input buffers.
#include <random>

#include "TransportHarness.h"
#include "midi/MidiPortState.h"
#include "resources/resource.h"
#include "support/Pump.h"

TEST_F(TransportTest, FullBufferEndingInF7CompletesAtOnce)
{
    std::vector<unsigned char> reply(4096, 0x11);
    reply.front() = 0xF0;
    reply.back() = 0xF7;
    m_device.SetReplyMode(EmulatedDevice::ReplyMode::Silent);
    RunProbe([&](ProbeDialog& probe) {
        ASSERT_TRUE(probe.RequestProgram(1));
        m_driver->InjectInput(reply);
        ASSERT_TRUE(WaitForOutcome(probe));
        EXPECT_EQ(reply, Received(probe));
        EXPECT_EQ(1, probe.completions);
    });
}

TEST_F(TransportTest, FirstCompleteMessageEndsTheTransaction)
{
    m_device.SetReplyMode(EmulatedDevice::ReplyMode::TwoMessages);
    RunProbe([&](ProbeDialog& probe) {
        ASSERT_TRUE(probe.RequestProgram(3));
        ASSERT_TRUE(WaitForOutcome(probe));
        m_driver->WaitUntilIdle();
        PumpUntil([] { return false; }, 50);
        EXPECT_EQ(1, probe.completions);
        EXPECT_EQ(m_device.ProgramMessage(3), Received(probe)) << "the second message is discarded";
    });
}

TEST_F(TransportTest, ThousandsOfRandomBlocksArriveWholeAndInOrder)
{
    std::mt19937 random(7);
    std::vector<unsigned char> stream(3 * 1024 * 1024);
    for (auto& byte : stream)
        byte = static_cast<unsigned char>(random() % 0x80);
    stream.front() = 0xF0;
    stream.back() = 0xF7;
    std::uniform_int_distribution<std::size_t> sizes(1, 4096);
    m_driver->SetBlockSizeGenerator([&] { return sizes(random); });
    m_device.SetReplyMode(EmulatedDevice::ReplyMode::Silent);
    RunProbe([&](ProbeDialog& probe) {
        ASSERT_TRUE(probe.RequestProgram(1));
        m_driver->InjectInput(stream);
        ASSERT_TRUE(WaitForOutcome(probe, 60000));
        EXPECT_EQ(1, probe.completions);
        EXPECT_TRUE(Received(probe) == stream) << "received " << probe.m_dumpBuffer.m_length << " bytes";
        EXPECT_GT(m_driver->CallCount(MidiCall::InAddBuffer), 1000);
    });
}

TEST_F(TransportTest, OnceABlockHasArrivedSilenceNeverTimesOut)
{
    m_device.SetReplyMode(EmulatedDevice::ReplyMode::Silent);
    RunProbe([&](ProbeDialog& probe) {
        ASSERT_TRUE(probe.RequestProgram(1));
        m_driver->SetBlockLimit(3);
        m_driver->InjectInput({0xF0, 0x00, 0x00});
        PumpUntil([] { return false; }, 6000);
        EXPECT_TRUE(m_ui->ShowedNothing());
        EXPECT_FALSE(probe.m_timedOut);
        m_driver->InjectInput({0x10, 0x00, 0xF7});
        ASSERT_TRUE(WaitForOutcome(probe));
        EXPECT_EQ(1, probe.completions);
        EXPECT_EQ((std::vector<unsigned char>{0xF0, 0x00, 0x00, 0x10, 0x00, 0xF7}), Received(probe));
    });
}


TEST_F(TransportTest, OutputClosesOnceTheRequestIsSentWhileTheInputWaits)
{
    m_device.SetReplyMode(EmulatedDevice::ReplyMode::Silent);
    RunProbe([&](ProbeDialog& probe) {
        ASSERT_TRUE(probe.RequestProgram(1));
        ASSERT_TRUE(PumpUntil([&] { return m_driver->OpenOutputPortCount() == 0; }));
        EXPECT_EQ(1, m_driver->OpenInputPortCount());
        EXPECT_EQ(3, m_driver->PreparedInputHeaderCount()) << "all three buffers stay queued";
        EXPECT_EQ(0, m_driver->PreparedOutputHeaderCount());
        probe.CloseTransaction();
    });
}

TEST_F(TransportTest, EnableControlsReachesEveryChildUpToTheLast)
{
    RunProbe([&](ProbeDialog& probe) {
        HWND last = GetWindow(GetWindow(probe.GetSafeHwnd(), GW_CHILD), GW_HWNDLAST);
        probe.EnableControls(FALSE);
        for (HWND child = GetWindow(probe.GetSafeHwnd(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            EXPECT_FALSE(IsWindowEnabled(child));
        probe.EnableControls(TRUE);
        EXPECT_TRUE(IsWindowEnabled(last));
    });
}
