// A single SysEx reply received through the three rotating input buffers.
#include <random>

#include "TransportHarness.h"
#include "midi/MidiPortState.h"
#include "resources/resource.h"
#include "support/Pump.h"

TEST_F(TransportTest, ReplyLargerThanABufferArrivesWholeInOrder)
{
    const std::vector<unsigned char> expected = m_device.ProgramMessage(200);
    ASSERT_GT(expected.size(), 4096u);
    m_driver->SetBlockSizes({4096, expected.size() - 4096});
    RunProbe([&](ProbeDialog& probe) {
        ASSERT_TRUE(probe.RequestProgram(200));
        ASSERT_TRUE(WaitForOutcome(probe));
        EXPECT_EQ(1, probe.completions);
        EXPECT_EQ(expected, Received(probe));
        EXPECT_TRUE(m_ui->ShowedNothing());
        EXPECT_EQ(0, m_driver->OpenInputPortCount()) << "the input closes once the reply is complete";
        EXPECT_TRUE(IsWindowEnabled(GetWindow(GetWindow(probe.GetSafeHwnd(), GW_CHILD), GW_HWNDLAST)));
    });
}

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

TEST_F(TransportTest, OutputClosesWhenTheRequestHasGoneOutWhileInputWaits)
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

TEST_F(TransportTest, ErrorReplyShowsItsTextAndNeverCompletes)
{
    m_device.SetReplyMode(EmulatedDevice::ReplyMode::ErrorReply);
    m_device.SetErrorCodes(1, 3);
    RunProbe([&](ProbeDialog& probe) {
        ASSERT_TRUE(probe.RequestProgram(1));
        ASSERT_TRUE(WaitForOutcome(probe));
        EXPECT_EQ(0, probe.completions);
        EXPECT_TRUE(m_ui->ShowedOnly(UiRecorder::Text(213), MB_OK | MB_ICONEXCLAMATION, 0));
        EXPECT_NE(nullptr, probe.m_completionAction) << "the completion action stays set";
    });
}

TEST_F(TransportTest, ErrorWithoutTextFallsBackToTheGeneralOne)
{
    m_device.SetReplyMode(EmulatedDevice::ReplyMode::ErrorReply);
    m_device.SetErrorCodes(1, 2); // string 212 does not exist
    RunProbe([&](ProbeDialog& probe) {
        ASSERT_TRUE(probe.RequestProgram(1));
        ASSERT_TRUE(WaitForOutcome(probe));
        EXPECT_TRUE(m_ui->ShowedOnly(UiRecorder::Text(IDS_DEVICE_ERROR_UNKNOWN), MB_OK | MB_ICONEXCLAMATION, 0));
    });
}

TEST_F(TransportTest, MalformedMessagesKeepTheirBuffersInTheRotation)
{
    m_device.SetReplyMode(EmulatedDevice::ReplyMode::Silent);
    RunProbe([&](ProbeDialog& probe) {
        ASSERT_TRUE(probe.RequestProgram(1));
        for (int i = 0; i < 4; ++i)
        {
            m_driver->InjectLongError();
            m_driver->InjectInput({0xF0, 0x01, 0xF7});
        }
        m_driver->WaitUntilIdle();
        const std::vector<unsigned char> reply = m_device.ProgramMessage(9);
        m_driver->InjectInput(reply);
        ASSERT_TRUE(WaitForOutcome(probe));
        EXPECT_EQ(1, probe.completions);
        EXPECT_TRUE(m_ui->ShowedNothing());
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

TEST_F(TransportTest, NoBlockWithinFiveSecondsTimesOut)
{
    m_device.SetReplyMode(EmulatedDevice::ReplyMode::Silent);
    RunProbe([&](ProbeDialog& probe) {
        const ULONGLONG start = GetTickCount64();
        ASSERT_TRUE(probe.RequestProgram(1));
        ASSERT_TRUE(WaitForOutcome(probe, 8000));
        EXPECT_GE(GetTickCount64() - start, 4900u);
        EXPECT_TRUE(m_ui->ShowedOnlyString(IDS_NO_REPLY, MB_OK | MB_ICONEXCLAMATION));
        EXPECT_TRUE(probe.m_timedOut);
        EXPECT_EQ(0, m_driver->OpenInputPortCount());
        EXPECT_EQ(0, m_driver->OpenOutputPortCount());
        EXPECT_TRUE(IsWindowEnabled(GetWindow(probe.GetSafeHwnd(), GW_CHILD)));
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

TEST_F(TransportTest, EnableControlsReachesEveryChildUpToTheLast)
{
    RunProbe([&](ProbeDialog& probe) {
        probe.EnableControls(FALSE);
        int children = 0;
        for (HWND child = GetWindow(probe.GetSafeHwnd(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        {
            ++children;
            EXPECT_FALSE(IsWindowEnabled(child));
        }
        EXPECT_GE(children, 2);
        probe.EnableControls(TRUE);
        HWND last = GetWindow(GetWindow(probe.GetSafeHwnd(), GW_CHILD), GW_HWNDLAST);
        EXPECT_TRUE(IsWindowEnabled(last));
    });
}

TEST_F(TransportTest, ClosingTheWindowWithARequestOutstandingClosesThePorts)
{
    m_device.SetReplyMode(EmulatedDevice::ReplyMode::Silent);
    m_driver->SetPace(EmulatedMidiDriver::Pace::WireRate);
    RunProbe([&](ProbeDialog& probe) { ASSERT_TRUE(probe.RequestProgram(1)); });
    // The fixture's TearDown proves that nothing is left open or prepared.
}
