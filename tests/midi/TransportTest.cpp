// One transaction of the transport: its openings and their failures, a reply through the
// three rotating input buffers, the time-out, and how driver events reach a window.
#include <functional>
#include <random>
#include <utility>

#include "framework/Strings.h"
#include "midi/MidiApp.h"
#include "midi/MidiDialog.h"
#include "midi/MidiPortState.h"
#include "midi/MidiSender.h"
#include "midi/OneShotTimer.h"
#include "protocol/GlobalMemory.h"
#include "protocol/SysExMessages.h"
#include "resources/resource.h"
#include "support/MidiTest.h"
#include "support/ModalHook.h"
#include "support/Pump.h"

namespace
{
// A MIDI window with nothing of its own: it runs the transport's transactions the way the
// program's windows do, and counts the completions of a reply.
class ProbeDialog : public CMidiDialog
{
public:
    ProbeDialog() : CMidiDialog(IDD_BULK_RECEIVE, nullptr) {}

    int Completed() { return ++completions, 1; }

    // What a single-dump receive does: completion action, ports, request, controls, timer.
    bool RequestProgram(int program)
    {
        m_completionAction = static_cast<int (CMidiDialog::*)()>(&ProbeDialog::Completed);
        if (!OpenPorts(SysEx::ProgramDumpRequestLength))
            return false;
        MidiPortState& state = PortState();
        BuildProgramDumpRequest(state.outputBuffer, state.deviceNumber, program);
        EnableControls(FALSE);
        return SendOutputBuffer() && StartReplyTimer();
    }

    int completions = 0;
};
}

class TransportTest : public MidiTest
{
protected:
    // Runs `body` inside the probe's modal run, with the probe as the current MIDI window.
    void RunProbe(const std::function<void(ProbeDialog&)>& body)
    {
        ProbeDialog probe;
        SetCurrentMidiWindow(&probe);
        ModalHook hook([&](CDialog&) {
            body(probe);
            probe.EndDialog(IDCANCEL);
        });
        probe.DoModal();
        SetCurrentMidiWindow(nullptr);
    }

    // Pumps until the probe has completed a reply or shown a box.
    bool WaitForOutcome(ProbeDialog& probe, unsigned timeoutMs = 5000)
    {
        return PumpUntil([&] { return probe.completions > 0 || !m_ui->boxes.empty(); }, timeoutMs);
    }

    static Bytes Received(const ProbeDialog& probe)
    {
        return Bytes(probe.m_dumpBuffer.m_bytes, probe.m_dumpBuffer.m_bytes + probe.m_dumpBuffer.m_length);
    }
};

TEST_F(TransportTest, EachFailedOpeningStepReportsItsStringAndLeavesNothingOpen)
{
    // A port another program holds says so, whether both ports or only the output open.
    const struct { MidiCall call; int skip; UINT message; MMRESULT result = MMSYSERR_ERROR; bool outputOnly = false; }
        failures[] = {
        {MidiCall::OutOpen, 0, IDS_OUTPUT_OPEN_FAILED},      {MidiCall::InOpen, 0, IDS_INPUT_OPEN_FAILED},
        {MidiCall::OutOpen, 0, IDS_OUTPUT_IN_USE, MMSYSERR_ALLOCATED},
        {MidiCall::InOpen, 0, IDS_INPUT_IN_USE, MMSYSERR_ALLOCATED},
        {MidiCall::OutOpen, 0, IDS_OUTPUT_IN_USE, MMSYSERR_ALLOCATED, true},
        {MidiCall::OutOpen, 0, IDS_OUTPUT_OPEN_FAILED, MMSYSERR_ERROR, true},
        {MidiCall::OutPrepareHeader, 0, IDS_OUTPUT_PREPARE_FAILED},
        {MidiCall::InPrepareHeader, 1, IDS_INPUT_PREPARE_FAILED},
        {MidiCall::InAddBuffer, 2, IDS_INPUT_ADD_FAILED},    {MidiCall::InStart, 0, IDS_INPUT_START_FAILED},
    };
    for (const auto& failure : failures)
    {
        Fresh();
        m_driver->FailCall(failure.call, failure.result, failure.skip);
        RunProbe([&](ProbeDialog& probe) {
            EXPECT_FALSE(failure.outputOnly ? probe.OpenOutputPort(1) : probe.RequestProgram(1));
            EXPECT_EQ(0, m_driver->OpenInputPortCount() + m_driver->OpenOutputPortCount()) << failure.message;
            EXPECT_EQ(0, m_driver->PreparedHeaderCount()) << "queued input buffers are taken back";
        });
        EXPECT_EQ(std::vector<Box>{Error(failure.message)}, m_ui->boxes);
        EXPECT_EQ(0, m_driver->CallCount(MidiCall::OutLongMsg)) << "nothing was sent";
    }
}

// The chosen ports (In B of A and B, Out B of A, B and C) are looked up at each opening: ports
// that come or go around them change nothing, and one that is gone is named and nothing is sent.
TEST_F(TransportTest, ChosenPortsAreLookedUpAtEachOpening)
{
    using Ports = std::vector<EmulatedMidiDriver::PortInfo>;
    const std::string inB = LoadResString(IDS_PORT_NAME, {"In B"}), outB = LoadResString(IDS_PORT_NAME, {"Out B"});
    const struct { Ports inputs, outputs; bool outputOnly; std::vector<std::string> sentTo; std::vector<Box> shown; }
        rows[] = {{{{"In B"}}, {{"Out B"}, {"Out C"}}, false, {"Out B"}, {}},
                  {{{"New"}, {"In A"}, {"In B"}}, {{"New"}, {"Out A"}, {"Out B"}}, false, {"Out B"}, {}},
                  {{{"In A"}}, {{"Out A"}, {"Out C"}}, true, {}, {Error(IDS_OUTPUT_PORT_NOT_CONNECTED, {outB})}},
                  {{{"In A"}}, {{"Out A"}, {"Out B"}}, false, {}, {Error(IDS_INPUT_PORT_NOT_CONNECTED, {inB})}}};
    for (const auto& row : rows)
    {
        Fresh();
        std::tie(PortState().inputPort, PortState().outputPort) = std::pair{MidiPortId{"In B"}, MidiPortId{"Out B"}};
        m_driver->SetInputPorts(row.inputs);
        m_driver->SetOutputPorts(row.outputs);
        RunProbe([&](ProbeDialog& probe) {
            EXPECT_EQ(row.shown.empty(), row.outputOnly ? probe.OpenOutputPort(1) != 0
                                                        : probe.RequestProgram(1) && WaitForOutcome(probe) &&
                                                              probe.completions == 1);
        });
        EXPECT_EQ(row.sentTo, m_driver->OpenedOutputPorts());
        EXPECT_EQ(row.shown, m_ui->boxes);
    }
}

TEST_F(TransportTest, PortStateStartsWithDefaultsOnlyWhenEveryBlockWasObtained)
{
    MidiPortState& state = PortState();
    state.deviceNumber = 9;
    ASSERT_TRUE(FreeMidiBuffers());
    const GlobalMemoryApi saved = GlobalMemoryApi::Current();
    static int allocations;
    allocations = 0;
    GlobalMemoryApi::Current().alloc = [](UINT flags, SIZE_T bytes) -> HGLOBAL {
        return ++allocations == 3 ? nullptr : GlobalAlloc(flags, bytes);
    };
    EXPECT_FALSE(AllocateMidiBuffers());
    GlobalMemoryApi::Current() = saved;
    EXPECT_EQ(9, state.deviceNumber) << "defaults are set only after every block";
    EXPECT_TRUE(FreeMidiBuffers());
    state.inputPort = MidiPortId{"In"};
    ASSERT_TRUE(AllocateMidiBuffers());
    EXPECT_EQ(1, state.deviceNumber);
    EXPECT_FALSE(state.inputPort) << "the first port, none chosen";
    ASSERT_TRUE(FreeMidiBuffers());
    for (HGLOBAL block : state.inputBlocks)
        EXPECT_EQ(nullptr, block) << "a block was not freed";
    ASSERT_TRUE(AllocateMidiBuffers());  // for the tear-down
}

// Blocks end where the buffer is full or at an F7; the reply ends with the first block whose
// last byte is F7: here a megabyte in blocks of random sizes. A driver that reports more bytes
// than the buffer holds (for the first, full block) is not believed.
TEST_F(TransportTest, ReplyIsCollectedUntilABlockEndsWithF7)
{
    std::mt19937 random(7);
    Bytes reply(1 << 20);
    for (auto& byte : reply)
        byte = static_cast<std::uint8_t>(random() % 0x80);
    reply.front() = 0xF0;
    reply.back() = 0xF7;
    SetReplyMode(EmulatedDevice::ReplyMode::Silent);
    m_driver->SetBlockSizeGenerator([&random, first = true]() mutable -> std::size_t {
        return std::exchange(first, false) ? MidiBufferSize : std::uniform_int_distribution<std::size_t>(1, 4096)(random);
    });
    RunProbe([&](ProbeDialog& probe) {
        ASSERT_TRUE(probe.RequestProgram(1));
        m_driver->OverstateNextBlock(904);
        m_driver->InjectInput(reply);
        ASSERT_TRUE(WaitForOutcome(probe, 60000));
        EXPECT_EQ(1, probe.completions);
        EXPECT_TRUE(Received(probe) == reply) << "received " << probe.m_dumpBuffer.m_length << " bytes";
    });
    EXPECT_TRUE(m_ui->boxes.empty());
}

TEST_F(TransportTest, OutputClosesOnceTheRequestIsSentAndSilenceAfterAFirstBlockNeverTimesOut)
{
    SetReplyMode(EmulatedDevice::ReplyMode::Silent);
    RunProbe([&](ProbeDialog& probe) {
        ASSERT_TRUE(probe.RequestProgram(1));
        ASSERT_TRUE(PumpUntil([&] { return m_driver->OpenOutputPortCount() == 0; }));
        EXPECT_EQ(MidiInputBufferCount, m_driver->PreparedInputHeaderCount()) << "every buffer stays queued";
        m_driver->SetBlockLimit(3);
        m_driver->InjectInput({0xF0, 0x00, 0x00});
        PumpUntil([] { return false; }, ReplyTimeoutMs() + 500);
        EXPECT_FALSE(probe.m_timedOut);
        m_driver->InjectInput({0x10, 0x00, 0xF7});
        ASSERT_TRUE(WaitForOutcome(probe));
        EXPECT_EQ((Bytes{0xF0, 0x00, 0x00, 0x10, 0x00, 0xF7}), Received(probe));
    });
    EXPECT_TRUE(m_ui->boxes.empty());
}

// The one test that waits the full time-out the program uses.
TEST_F(TransportTest, SilenceTimesOutAfterFiveSeconds)
{
    SetReplyTimeoutMs(DefaultReplyTimeoutMs);
    SetReplyMode(EmulatedDevice::ReplyMode::Silent);
    RunProbe([&](ProbeDialog& probe) {
        const ULONGLONG started = GetTickCount64();
        ASSERT_TRUE(probe.RequestProgram(1));
        ASSERT_TRUE(PumpUntil([&] { return probe.m_timedOut != FALSE; }, 10000));
        EXPECT_GE(GetTickCount64() - started, 4900u);
        EXPECT_LT(GetTickCount64() - started, 7500u);
    });
    EXPECT_EQ(std::vector<Box>{Error(IDS_NO_REPLY)}, m_ui->boxes);
}

// A time-out closes the port while the driver refuses to release a buffer: the buffers the
// reset handed back are dropped even while the box pumps, never queued again on a closing port.
TEST_F(TransportTest, BuffersHandedBackByAClosingPortAreNotQueuedAgain)
{
    SetReplyMode(EmulatedDevice::ReplyMode::Silent);
    m_driver->FailCall(MidiCall::InUnprepareHeader, MMSYSERR_NOMEM);
    m_ui->onBox = [](const Box&) { PumpUntil([] { return false; }, 50); };  // as a box's own loop
    RunProbe([&](ProbeDialog& probe) {
        ASSERT_TRUE(probe.RequestProgram(1));
        ASSERT_TRUE(PumpUntil([&] { return probe.m_timedOut != FALSE; }));
    });
    EXPECT_EQ((std::vector<Box>{Error(IDS_INPUT_UNPREPARE_FAILED), Error(IDS_NO_REPLY)}), m_ui->boxes);
    EXPECT_EQ(MidiInputBufferCount, m_driver->CallCount(MidiCall::InAddBuffer));
    EXPECT_EQ(0, m_driver->OpenInputPortCount());
    Fresh();  // the refused header stays the driver's
}

// A bulk dialog is the current MIDI window before its modal run creates it: what the
// driver hands over in between reaches it once it exists.
TEST_F(TransportTest, CompletionQueuedBeforeTheWindowExistsIsDeliveredWhenItDoes)
{
    ProbeDialog probe;
    SetCurrentMidiWindow(&probe);
    ASSERT_TRUE(probe.OpenOutputPort(SysEx::DeviceCommand21Length));
    BuildDeviceCommand21(PortState().outputBuffer, 1);
    ASSERT_TRUE(probe.SendOutputBuffer());
    ASSERT_TRUE(m_driver->WaitUntilIdle());
    ModalHook hook([&](CDialog&) {
        EXPECT_TRUE(PumpUntil([&] { return m_driver->OpenOutputPortCount() == 0; })) << "the completion was lost";
        probe.EndDialog(IDCANCEL);
    });
    probe.DoModal();
    SetCurrentMidiWindow(nullptr);
}

// The request's completion shows 130; while that box is up, the reply arrives and the reply
// timer comes due: a reply that arrived is never reported missing.
TEST_F(TransportTest, ReplyThatArrivedWhileABoxWasOpenIsNeverReportedMissing)
{
    SetReplyTimeoutMs(100);
    m_driver->FailCall(MidiCall::OutUnprepareHeader, MMSYSERR_ERROR);
    m_ui->onBox = [&](const Box&) { PumpUntil([] { return false; }, 400); };
    RunProbe([&](ProbeDialog& probe) {
        ASSERT_TRUE(probe.RequestProgram(3));
        ASSERT_TRUE(PumpUntil([&] { return probe.completions > 0; }));
        EXPECT_EQ(EmulatedDevice().ProgramMessage(3), Received(probe));
    });
    EXPECT_EQ(std::vector<Box>{Error(IDS_OUTPUT_UNPREPARE_FAILED)}, m_ui->boxes);
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

// The pause timer's message carries its id: one that comes late, for a timer cancelled or
// started again since, is ignored.
TEST_F(TransportTest, OneShotTimerTakesOnlyItsOwnMessage)
{
    static std::vector<WPARAM> posted;
    posted.clear();
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == WM_ONE_SHOT_TIMER)
            posted.push_back(wp);
        return DefWindowProcW(w, m, wp, lp);
    }));
    COneShotTimer timer;
    ASSERT_TRUE(timer.Start(window, 1));
    ASSERT_TRUE(PumpUntil([] { return posted.size() == 1; }));
    ASSERT_TRUE(timer.Start(window, 1));
    EXPECT_FALSE(timer.Elapsed(posted[0])) << "a late message of the timer before";
    ASSERT_TRUE(PumpUntil([] { return posted.size() == 2; }));
    EXPECT_TRUE(timer.Elapsed(posted[1]) && !timer.IsRunning());
    DestroyWindow(window);
}

// A send that starts while an earlier one's bytes are still on the line counts only its own:
// on a driver that completes at once, the clock alone says what has left.
TEST_F(TransportTest, ProgressCountsOnlyTheSendsOwnBytes)
{
    AtWireRate(EmulatedMidiDriver::Line::Midisrv);
    struct Listener : MidiSendListener
    {
        void OnSendEnded(const SendResult&) override { ended = true; }
        bool ended = false;
    } first, second;
    const auto message = [](std::size_t length) {
        std::vector<unsigned char> bytes(length, 0x10);
        bytes.front() = 0xF0, bytes.back() = 0xF7;
        return bytes;
    };
    CMidiSender& sender = CMidiSender::Instance();
    ASSERT_EQ(0u, sender.OpenOutput());
    ASSERT_TRUE(sender.Send({message(3000)}, &first));
    ASSERT_TRUE(PumpUntil([&] { return !sender.Busy(); }));
    ASSERT_TRUE(sender.Send({message(1000)}, &second));
    PumpUntil([] { return false; }, 200);  // the first send's bytes are leaving meanwhile
    EXPECT_EQ(0u, sender.Progress(&second).bytesLeft);
    EXPECT_TRUE(PumpUntil([&] { return first.ended && second.ended; }, 5000));
}

// Where no pause separates them, pieces wait in the driver behind the one on its way, as many
// as the sender has headers for, so that a slow window thread never idles the line; a pause
// waits for each completion. This driver completes nothing: the send ends as overdue.
TEST_F(TransportTest, PiecesWaitInTheDriverUnlessAPauseSeparatesThem)
{
    const struct { int pauseMs; std::size_t messages, held; } rows[] = {{0, 20, 20}, {0, 40, 32}, {150, 3, 1}};
    for (const auto& row : rows)
    {
        Fresh();
        m_driver->SetLine(EmulatedMidiDriver::Line::Stalled);
        PortState().pauseMs = row.pauseMs;
        struct : MidiSendListener { void OnSendEnded(const SendResult& r) override { outcome = r.outcome; } SendOutcome outcome = SendOutcome::Sent; } listener;
        ASSERT_TRUE(CMidiSender::Instance().Send(std::vector<std::vector<unsigned char>>(row.messages, {0xF0, 0x10, 0xF7}), &listener));
        EXPECT_EQ(row.held, Sent().size()) << row.messages << " messages, pause " << row.pauseMs;
        EXPECT_TRUE(PumpUntil([&] { return listener.outcome == SendOutcome::Stopped; }, 5000));
    }
}
