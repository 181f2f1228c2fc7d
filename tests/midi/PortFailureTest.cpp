// Every driver failure of a transaction: its message, and what it leaves open.

#include "TransportHarness.h"
#include "midi/MidiDriver.h"
#include "midi/MidiPortState.h"
#include "protocol/GlobalMemory.h"
#include "resources/resource.h"
#include "support/Pump.h"

namespace
{
constexpr UINT ErrorBox = MB_OK | MB_ICONEXCLAMATION;

struct OpeningFailure
{
    MidiCall call;
    int skip;
    UINT message;
};
}

TEST_F(TransportTest, EachFailedOpeningStepReportsItsStringAndLeavesNothingOpen)
{
    const OpeningFailure failures[] = {
        {MidiCall::OutOpen, 0, IDS_OUTPUT_OPEN_FAILED},      {MidiCall::InOpen, 0, IDS_INPUT_OPEN_FAILED},
        {MidiCall::OutPrepareHeader, 0, IDS_OUTPUT_PREPARE_FAILED},
        {MidiCall::InPrepareHeader, 1, IDS_INPUT_PREPARE_FAILED},
        {MidiCall::InAddBuffer, 2, IDS_INPUT_ADD_FAILED},    {MidiCall::InStart, 0, IDS_INPUT_START_FAILED},
    };
    for (const OpeningFailure& failure : failures)
    {
        SCOPED_TRACE(failure.message);
        m_ui->boxes.clear();
        m_driver->FailCall(failure.call, MMSYSERR_ERROR, failure.skip);
        RunProbe([&](ProbeDialog& probe) {
            EXPECT_FALSE(probe.RequestProgram(1));
            EXPECT_TRUE(m_ui->ShowedOnlyString(failure.message, ErrorBox));
            EXPECT_EQ(0, m_driver->OpenInputPortCount());
            EXPECT_EQ(0, m_driver->OpenOutputPortCount());
            EXPECT_EQ(0, m_driver->PreparedHeaderCount()) << "queued input buffers are taken back";
        });
        m_driver->ClearFailures();
    }
    EXPECT_EQ(0, m_driver->CallCount(MidiCall::OutLongMsg)) << "nothing was sent";
}

TEST_F(TransportTest, DumpBufferThatCannotBeEmptiedEndsTheWindow)
{
    RunProbe([&](ProbeDialog& probe) {
        const GlobalMemoryApi saved = GlobalMemoryApi::Current();
        GlobalMemoryApi::Current().alloc = [](UINT, SIZE_T) -> HGLOBAL { return nullptr; };
        EXPECT_FALSE(probe.OpenPorts(10));
        GlobalMemoryApi::Current() = saved;
        EXPECT_TRUE(m_ui->ShowedOnlyString(IDS_OUT_OF_MEMORY, ErrorBox));
        EXPECT_TRUE(probe.IsEnding());
        EXPECT_EQ(0, m_driver->CallCount(MidiCall::OutOpen)) << "no port is opened";
    });
}

TEST_F(TransportTest, OutputHeaderThatCannotBeReleasedLeavesThePortOpen)
{
    m_device.SetReplyMode(EmulatedDevice::ReplyMode::Silent);
    m_driver->FailCall(MidiCall::OutUnprepareHeader, MMSYSERR_ERROR);
    RunProbe([&](ProbeDialog& probe) {
        ASSERT_TRUE(probe.OpenOutputPort(8));
        probe.SendOutputBuffer();
        ASSERT_TRUE(PumpUntil([&] { return !m_ui->boxes.empty(); }));
        EXPECT_TRUE(m_ui->ShowedOnlyString(IDS_OUTPUT_UNPREPARE_FAILED, ErrorBox));
        EXPECT_EQ(1, m_driver->OpenOutputPortCount());
    });
    // Closing the window released the header and closed the port (checked by TearDown).
}

TEST_F(TransportTest, BlockThatCannotBeAppendedIsLost)
{
    m_device.SetReplyMode(EmulatedDevice::ReplyMode::Silent);
    RunProbe([&](ProbeDialog& probe) {
        ASSERT_TRUE(probe.RequestProgram(1));
        const GlobalMemoryApi saved = GlobalMemoryApi::Current();
        GlobalMemoryApi::Current().reAlloc = [](HGLOBAL, SIZE_T, UINT) -> HGLOBAL { return nullptr; };
        m_driver->SetBlockSizes({4096, 904});
        m_driver->InjectInput(std::vector<unsigned char>(5000, 0x10));
        const bool shown = PumpUntil([&] { return !m_ui->boxes.empty(); });
        GlobalMemoryApi::Current() = saved;
        ASSERT_TRUE(shown);
        EXPECT_TRUE(m_ui->ShowedOnlyString(IDS_OUT_OF_MEMORY, ErrorBox));
        EXPECT_EQ(4096u, probe.m_dumpBuffer.m_length) << "the block that did not fit is lost";
    });
}

TEST_F(TransportTest, PortStateStartsWithDefaultsOnlyWhenEveryBlockWasObtained)
{
    MidiPortState& state = PortState();
    state.deviceNumber = 9;
    state.inputPort = 2;
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

    ASSERT_TRUE(AllocateMidiBuffers());
    EXPECT_EQ(1, state.deviceNumber);
    EXPECT_EQ(0, state.inputPort);
    EXPECT_EQ(0, state.outputPort);
}
