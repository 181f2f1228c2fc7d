// How driver events reach a window: before it has a handle, behind a message box, after it
// has gone, and with a driver that misreports a block or refuses a message.
#include "TransportHarness.h"
#include "midi/MidiApp.h"
#include "framework/Strings.h"
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
    m_ui->onBox = [&](const MessageBoxRequest&) { PumpUntil([] { return false; }, 400); };
    RunProbe([&](ProbeDialog& probe) {
        ASSERT_TRUE(probe.RequestProgram(3));
        ASSERT_TRUE(PumpUntil([&] { return probe.completions > 0; }));
        EXPECT_EQ(m_device.ProgramMessage(3), Received(probe));
    });
    SetReplyTimeoutMs(DefaultReplyTimeoutMs);
    EXPECT_TRUE(m_ui->ShowedOnlyString(IDS_OUTPUT_UNPREPARE_FAILED, MB_ERROR_BOX));
}

TEST_F(TransportTest, BlockCountAboveTheBufferIsTakenAsTheBuffer)
{
    std::vector<unsigned char> reply(MidiBufferSize, 0x11);
    reply.front() = 0xF0;
    reply.back() = 0xF7;
    m_device.SetReplyMode(EmulatedDevice::ReplyMode::Silent);
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
        const std::string text =
            FormatPlaceholders(LoadResString(IDS_SEND_REFUSED), {std::to_string(MIDIERR_NOTREADY)});
        EXPECT_TRUE(m_ui->ShowedOnly(text, MB_ERROR_BOX, IDS_SEND_REFUSED));
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
