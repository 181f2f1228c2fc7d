// How driver events reach a window: before it has a handle, behind a message box, after it
// has gone, and with a driver that misreports a block or refuses a message.
#include "TransportHarness.h"
#include "midi/MidiApp.h"
#include "midi/MidiPortState.h"
#include "protocol/SysExMessages.h"
#include "resources/resource.h"
#include "support/ModalHook.h"
#include "support/Pump.h"

TEST_F(TransportTest, CompletionQueuedBeforeTheWindowExistsIsDeliveredWhenItDoes)
{
    // A bulk dialog is the current MIDI window before its modal run creates it.
    ProbeDialog probe;
    SetCurrentMidiWindow(&probe);
    ASSERT_TRUE(probe.OpenOutputPort(SysEx::DeviceCommand21Length));
    BuildDeviceCommand21(PortState().outputBuffer, 1);
    ASSERT_TRUE(probe.SendOutputBuffer());
    ASSERT_TRUE(m_driver->WaitUntilIdle());
    bool closed = false;
    ModalHook hook([&](CDialog&) {
        closed = PumpUntil([&] { return m_driver->OpenOutputPortCount() == 0; });
        probe.EndDialog(IDCANCEL);
    });
    probe.DoModal();
    SetCurrentMidiWindow(nullptr);
    EXPECT_TRUE(closed) << "the completion never reached the window";
}

TEST_F(TransportTest, ReplyThatArrivedWhileABoxWasOpenIsNeverReportedMissing)
{
    // The request's completion shows 130; while that box is up, the reply arrives and the
    // reply timer comes due.
    SetReplyTimeoutMs(100);
    m_driver->FailCall(MidiCall::OutUnprepareHeader, MMSYSERR_ERROR);
    m_ui->onBox = [&](const Box&) { PumpUntil([] { return false; }, 400); };
    RunProbe([&](ProbeDialog& probe) {
        ASSERT_TRUE(probe.RequestProgram(3));
        ASSERT_TRUE(PumpUntil([&] { return probe.completions > 0; }));
        EXPECT_EQ(Program(3), Received(probe));
    });
    EXPECT_EQ(std::vector<Box>{Error(IDS_OUTPUT_UNPREPARE_FAILED)}, m_ui->boxes);
}

TEST_F(TransportTest, BlockCountAboveTheBufferIsTakenAsTheBuffer)
{
    Bytes reply(MidiBufferSize, 0x11);
    reply.front() = 0xF0;
    reply.back() = 0xF7;
    SetReplyMode(EmulatedDevice::ReplyMode::Silent);
    RunProbe([&](ProbeDialog& probe) {
        ASSERT_TRUE(probe.RequestProgram(1));
        m_driver->OverstateNextBlock(904);
        m_driver->InjectInput(reply);
        ASSERT_TRUE(WaitForOutcome(probe));
        EXPECT_EQ(reply, Received(probe));
    });
}

TEST_F(TransportTest, RefusedRequestIsReportedAndLeavesNothingOpen)
{
    m_driver->FailCall(MidiCall::OutLongMsg, MIDIERR_NOTREADY);
    RunProbe([&](ProbeDialog& probe) {
        EXPECT_FALSE(probe.RequestProgram(1));
        EXPECT_EQ(std::vector<Box>{Error(IDS_SEND_REFUSED, {std::to_string(MIDIERR_NOTREADY)})}, m_ui->boxes);
        EXPECT_EQ(0, m_driver->OpenInputPortCount() + m_driver->OpenOutputPortCount());
        EXPECT_EQ(0, m_driver->PreparedHeaderCount());
    });
}

TEST_F(TransportTest, WindowThatHasGoneIsNoLongerCurrent)
{
    {
        ProbeDialog probe;
        SetCurrentMidiWindow(&probe);
    }
    std::lock_guard<std::mutex> lock(MidiRoutingLock());
    EXPECT_EQ(nullptr, CurrentMidiWindowLocked()) << "callbacks would queue into a destroyed window";
}
