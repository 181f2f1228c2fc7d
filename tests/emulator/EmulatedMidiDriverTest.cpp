#include "CallbackLog.h"
#include "emulator/EmulatedMidiDriver.h"
#include "protocol/SysExMessages.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstring>

namespace
{
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;
constexpr UINT HeaderSize = sizeof(MIDIHDR);

Bytes ProgramRequest(int program)
{
    Bytes request(SysEx::ProgramDumpRequestLength);
    BuildProgramDumpRequest(request.data(), 1, program);
    return request;
}

std::vector<std::size_t> BlockSizes(const std::vector<CallbackLog::Entry>& blocks)
{
    std::vector<std::size_t> sizes;
    for (const auto& block : blocks)
        sizes.push_back(block.bytes.size());
    return sizes;
}
}

class EmulatedMidiDriverTest : public ::testing::Test
{
protected:
    void OpenAndStart()
    {
        OpenBoth();
        QueueInput();
        m_driver.midiInStart(m_in);
    }

    void OpenBoth()
    {
        ASSERT_EQ(m_driver.midiOutOpen(&m_out, 0, m_outLog.OutCallback(), m_outLog.Instance(),
                                       CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
        ASSERT_EQ(m_driver.midiInOpen(&m_in, 0, m_inLog.InCallback(), m_inLog.Instance(),
                                      CALLBACK_FUNCTION | MIDI_IO_STATUS),
                  MMSYSERR_NOERROR);
    }

    MIDIHDR& InputHeader(std::size_t i, std::size_t size = 4096)
    {
        m_inData[i].assign(size, 0);
        m_inHeaders[i] = MIDIHDR{};
        m_inHeaders[i].lpData = m_inData[i].data();
        m_inHeaders[i].dwBufferLength = static_cast<DWORD>(size);
        return m_inHeaders[i];
    }

    void QueueInput(std::size_t count = 3, std::size_t size = 4096)
    {
        for (std::size_t i = 0; i < count; ++i)
        {
            ASSERT_EQ(m_driver.midiInPrepareHeader(m_in, &InputHeader(i, size), HeaderSize), 0u);
            ASSERT_EQ(m_driver.midiInAddBuffer(m_in, &m_inHeaders[i], HeaderSize), 0u);
        }
    }

    // Queues the buffer again from its own callback, as the program's reception does.
    void RequeueFromCallback()
    {
        m_inLog.SetReaction([this](const CallbackLog::Entry& entry) {
            if (entry.message == MIM_LONGDATA && m_requeue)
                m_driver.midiInAddBuffer(m_in, entry.header, HeaderSize);
        });
    }

    MMRESULT Send(const Bytes& bytes)
    {
        m_outData.assign(bytes.begin(), bytes.end());
        m_outHeader = MIDIHDR{};
        m_outHeader.lpData = m_outData.data();
        m_outHeader.dwBufferLength = static_cast<DWORD>(bytes.size());
        EXPECT_EQ(m_driver.midiOutPrepareHeader(m_out, &m_outHeader, HeaderSize), 0u);
        return m_driver.midiOutLongMsg(m_out, &m_outHeader, HeaderSize);
    }

    void SendAndWait(const Bytes& bytes)
    {
        const std::size_t done = m_outLog.Count(MOM_DONE);
        ASSERT_EQ(Send(bytes), 0u);
        ASSERT_TRUE(m_outLog.WaitForCount(MOM_DONE, done + 1));
        ASSERT_EQ(m_driver.midiOutUnprepareHeader(m_out, &m_outHeader, HeaderSize), 0u);
    }

    void TearDown() override
    {
        m_requeue = false;
        m_driver.midiInReset(m_in);
        m_driver.midiInClose(m_in);
        m_driver.midiOutClose(m_out);
    }

    EmulatedDevice m_device;
    CallbackLog m_inLog;
    CallbackLog m_outLog;
    std::array<std::vector<char>, 3> m_inData;
    std::array<MIDIHDR, 3> m_inHeaders{};
    std::vector<char> m_outData;
    MIDIHDR m_outHeader{};
    std::atomic<bool> m_requeue{true};
    HMIDIIN m_in = nullptr;
    HMIDIOUT m_out = nullptr;
    // Last, so that it is destroyed first: its worker may call back into the members above.
    EmulatedMidiDriver m_driver{m_device};
};

TEST_F(EmulatedMidiDriverTest, ARequestIsAnsweredByteForByteFromTheWorker)
{
    OpenBoth();
    // The open notifications come during the opening calls, on the caller's thread.
    ASSERT_EQ(m_outLog.Count(MOM_OPEN), 1u);
    ASSERT_EQ(m_inLog.Count(MIM_OPEN), 1u);
    EXPECT_EQ(m_inLog.Entries(MIM_OPEN)[0].thread, std::this_thread::get_id());
    QueueInput();
    ASSERT_EQ(m_driver.midiInStart(m_in), 0u);

    SendAndWait(ProgramRequest(17));
    ASSERT_TRUE(m_inLog.WaitForCount(MIM_LONGDATA, 1));
    const auto done = m_outLog.Entries(MOM_DONE)[0];
    EXPECT_EQ(done.header, &m_outHeader);
    EXPECT_EQ(done.flags & (MHDR_DONE | MHDR_INQUEUE), DWORD{MHDR_DONE});
    const auto block = m_inLog.Entries(MIM_LONGDATA)[0];
    EXPECT_EQ(block.bytes, m_device.ProgramMessage(17));
    EXPECT_EQ(block.header, &m_inHeaders[0]);
    EXPECT_EQ(block.flags & (MHDR_DONE | MHDR_INQUEUE | MHDR_PREPARED),
              DWORD{MHDR_DONE | MHDR_PREPARED});
    EXPECT_NE(block.thread, std::this_thread::get_id());
    EXPECT_EQ(m_driver.LongMessages().at(0).bytes, ProgramRequest(17));
}

TEST_F(EmulatedMidiDriverTest, BlocksEndAtFullBuffersAtF7AndAtTheBlockLimits)
{
    OpenAndStart();
    SendAndWait(ProgramRequest(200));
    ASSERT_TRUE(m_inLog.WaitForCount(MIM_LONGDATA, 2));
    EXPECT_EQ(BlockSizes(m_inLog.Entries(MIM_LONGDATA)), (std::vector<std::size_t>{4096, 904}));
    EXPECT_EQ(m_inLog.ReceivedBytes(), m_device.ProgramMessage(200));

    // Two short messages in a row: each F7 closes its block.
    RequeueFromCallback();
    m_driver.InjectInput({0xF0, 0x01, 0xF7, 0xF0, 0x02, 0x03, 0xF7});
    ASSERT_TRUE(m_inLog.WaitForCount(MIM_LONGDATA, 4));
    m_driver.SetBlockSizes({100, 50});
    SendAndWait(ProgramRequest(1));
    ASSERT_TRUE(m_driver.WaitUntilIdle());
    const auto sizes = BlockSizes(m_inLog.Entries(MIM_LONGDATA));
    ASSERT_EQ(sizes.size(), 7u);
    EXPECT_EQ(std::vector<std::size_t>(sizes.begin() + 2, sizes.end()),
              (std::vector<std::size_t>{3, 4, 100, 50, m_device.ProgramMessage(1).size() - 150}));
}

TEST_F(EmulatedMidiDriverTest, BytesWaitForABufferAndRepliesWithoutAnInputAreLost)
{
    ASSERT_EQ(m_driver.midiOutOpen(&m_out, 0, m_outLog.OutCallback(), m_outLog.Instance(),
                                   CALLBACK_FUNCTION), 0u);
    SendAndWait(ProgramRequest(3));  // no input open: the reply is gone
    ASSERT_EQ(m_driver.midiInOpen(&m_in, 0, m_inLog.InCallback(), m_inLog.Instance(),
                                  CALLBACK_FUNCTION), 0u);
    m_driver.midiInStart(m_in);
    SendAndWait(ProgramRequest(4));
    ASSERT_TRUE(m_driver.WaitUntilIdle());
    EXPECT_EQ(m_inLog.Count(MIM_LONGDATA), 0u);

    QueueInput(1);
    ASSERT_TRUE(m_inLog.WaitForCount(MIM_LONGDATA, 1));
    EXPECT_EQ(m_inLog.ReceivedBytes(), m_device.ProgramMessage(4));
}

TEST_F(EmulatedMidiDriverTest, ResetHandsBackEveryQueuedBufferBeforeItReturns)
{
    OpenAndStart();
    m_driver.InjectInput({0xF0, 0x00, 0x00, 0x10});
    ASSERT_TRUE(m_driver.WaitUntilIdle());
    ASSERT_EQ(m_driver.midiInClose(m_in), MIDIERR_STILLPLAYING);

    ASSERT_EQ(m_driver.midiInReset(m_in), 0u);
    const auto blocks = m_inLog.Entries(MIM_LONGDATA);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(BlockSizes(blocks), (std::vector<std::size_t>{4, 0, 0}));
    for (const auto& block : blocks)
        EXPECT_EQ(block.flags & (MHDR_DONE | MHDR_INQUEUE), DWORD{MHDR_DONE});
    EXPECT_EQ(m_driver.midiInClose(m_in), 0u);
    EXPECT_EQ(m_inLog.Count(MIM_CLOSE), 1u);
}

TEST_F(EmulatedMidiDriverTest, OutputResetHandsBackTheMessageOnTheWireBeforeItReturns)
{
    OpenBoth();
    m_driver.SetPace(EmulatedMidiDriver::Pace::WireRate);
    Bytes dump = m_device.ProgramMessage(199);  // 4096 bytes: 1.3 s on the wire
    StampProgramDump(dump.data(), 1, 1);
    ASSERT_EQ(Send(dump), 0u);
    ASSERT_EQ(m_driver.midiOutReset(m_out), 0u);
    ASSERT_EQ(m_outLog.Count(MOM_DONE), 1u);
    EXPECT_EQ(m_outHeader.dwFlags & (MHDR_DONE | MHDR_INQUEUE), DWORD{MHDR_DONE});
    EXPECT_EQ(m_driver.midiOutUnprepareHeader(m_out, &m_outHeader, HeaderSize), 0u);
    EXPECT_EQ(m_driver.midiOutClose(m_out), 0u);
    m_driver.WithDevice([&](EmulatedDevice& device) {
        EXPECT_TRUE(device.ReceivedMessages().empty());
        EXPECT_NE(device.Snapshot().Program(1), device.Snapshot().Program(199));
    });
}

TEST_F(EmulatedMidiDriverTest, ResetFromACallbackHandsBackTheOtherBuffersAtOnce)
{
    OpenBoth();
    QueueInput();
    std::atomic<std::size_t> handedBackDuringReset{0};
    m_inLog.SetReaction([this, &handedBackDuringReset](const CallbackLog::Entry& entry) {
        // The program's reception closes the input from the callback of the final block.
        if (entry.header == &m_inHeaders[0])
        {
            m_driver.midiInReset(m_in);
            handedBackDuringReset = m_inLog.Count(MIM_LONGDATA) - 1;
            m_driver.midiInClose(m_in);
        }
    });
    m_driver.midiInStart(m_in);
    SendAndWait(ProgramRequest(5));
    ASSERT_TRUE(m_inLog.WaitForCount(MIM_CLOSE, 1));
    EXPECT_EQ(handedBackDuringReset, 2u);
    EXPECT_EQ(m_driver.OpenInputPortCount(), 0);
}

TEST_F(EmulatedMidiDriverTest, ErrorCodesFollowWinmm)
{
    MIDIINCAPSA caps{};
    EXPECT_EQ(m_driver.midiInGetDevCapsA(1, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(m_driver.midiInOpen(&m_in, 1, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    OpenBoth();
    HMIDIIN second = nullptr;
    EXPECT_EQ(m_driver.midiInOpen(&second, 0, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
    EXPECT_EQ(m_driver.midiInStart(reinterpret_cast<HMIDIIN>(m_out)), MMSYSERR_INVALHANDLE);

    MIDIHDR& header = InputHeader(0);
    EXPECT_EQ(m_driver.midiInAddBuffer(m_in, &header, HeaderSize), MIDIERR_UNPREPARED);
    EXPECT_EQ(m_driver.midiInPrepareHeader(m_in, nullptr, HeaderSize), MMSYSERR_INVALPARAM);
    EXPECT_EQ(m_driver.midiInPrepareHeader(m_in, &header, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(m_driver.midiInUnprepareHeader(m_in, &header, HeaderSize), 0u);
    EXPECT_EQ(m_driver.midiInPrepareHeader(m_in, &header, HeaderSize), 0u);
    EXPECT_EQ(m_driver.midiInPrepareHeader(m_in, &header, HeaderSize), 0u);
    EXPECT_EQ(m_driver.midiInAddBuffer(m_in, &header, HeaderSize), 0u);
    EXPECT_EQ(header.dwFlags & (MHDR_DONE | MHDR_INQUEUE | MHDR_PREPARED),
              DWORD{MHDR_INQUEUE | MHDR_PREPARED});
    EXPECT_EQ(m_driver.midiInAddBuffer(m_in, &header, HeaderSize), MIDIERR_STILLPLAYING);
    EXPECT_EQ(m_driver.midiInUnprepareHeader(m_in, &header, HeaderSize), MIDIERR_STILLPLAYING);
    EXPECT_EQ(m_driver.PreparedInputHeaderCount(), 1);

    m_outData.assign(8, 0);
    m_outHeader.lpData = m_outData.data();
    m_outHeader.dwBufferLength = 8;
    EXPECT_EQ(m_driver.midiOutLongMsg(m_out, &m_outHeader, HeaderSize), MIDIERR_UNPREPARED);
    // A message on the wire keeps its port open.
    m_driver.SetPace(EmulatedMidiDriver::Pace::WireRate);
    ASSERT_EQ(Send(Bytes(100, 0xF8)), 0u);  // 32 ms on the wire
    EXPECT_EQ(m_driver.midiOutClose(m_out), MIDIERR_STILLPLAYING);
    ASSERT_TRUE(m_outLog.WaitForCount(MOM_DONE, 1));
    EXPECT_EQ(m_driver.midiOutClose(m_out), 0u);

    // Handles are never reused: the closed one stays invalid after a new opening.
    const HMIDIOUT closed = m_out;
    ASSERT_EQ(m_driver.midiOutOpen(&m_out, 0, 0, 0, CALLBACK_NULL), 0u);
    EXPECT_NE(m_out, closed);
    EXPECT_EQ(m_driver.midiOutShortMsg(closed, 0x90), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(m_driver.midiOutUnprepareHeader(closed, &m_outHeader, HeaderSize),
              MMSYSERR_INVALHANDLE);
}

TEST_F(EmulatedMidiDriverTest, InjectedFailuresHitTheChosenCallsAndChangeNothing)
{
    m_driver.FailCall(MidiCall::InOpen, MMSYSERR_NOMEM);
    EXPECT_EQ(m_driver.midiInOpen(&m_in, 0, m_inLog.InCallback(), m_inLog.Instance(),
                                  CALLBACK_FUNCTION), MMSYSERR_NOMEM);
    EXPECT_EQ(m_driver.OpenInputPortCount(), 0);
    EXPECT_EQ(m_inLog.Count(MIM_OPEN), 0u);
    OpenBoth();

    m_driver.FailCall(MidiCall::InPrepareHeader, MMSYSERR_ERROR, 1, 2);
    std::vector<MMRESULT> results;
    for (std::size_t i = 0; i < 3; ++i)
        results.push_back(m_driver.midiInPrepareHeader(m_in, &InputHeader(i), HeaderSize));
    results.push_back(m_driver.midiInPrepareHeader(m_in, &m_inHeaders[1], HeaderSize));
    EXPECT_EQ(results, (std::vector<MMRESULT>{0, MMSYSERR_ERROR, MMSYSERR_ERROR, 0}));
    EXPECT_EQ(m_inHeaders[2].dwFlags, 0u);
    EXPECT_EQ(m_driver.PreparedInputHeaderCount(), 2);

    m_driver.FailCall(MidiCall::OutGetNumDevs, MMSYSERR_ERROR, 0, -1);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(m_driver.midiOutGetNumDevs(), 0u);
    m_driver.ClearFailures();
    EXPECT_EQ(m_driver.midiOutGetNumDevs(), 1u);
    EXPECT_EQ(m_driver.CallCount(MidiCall::OutGetNumDevs), 4);
}

TEST_F(EmulatedMidiDriverTest, WireRatePacesBothDirectionsAndFullSpeedDoesNot)
{
    m_device.SetProgramData(9, DeviceMemory::Data(615, 0x11));  // a 625-byte message
    OpenAndStart();
    const Bytes dump = m_device.ProgramMessage(9);
    ASSERT_EQ(dump.size(), 625u);

    m_driver.SetPace(EmulatedMidiDriver::Pace::WireRate);
    SendAndWait(dump);
    const auto sent = m_driver.LongMessages().at(0);
    const auto sendTime = sent.done - sent.handedOver;
    EXPECT_GE(sendTime, 180ms);
    EXPECT_LT(sendTime, 1s);

    SendAndWait(ProgramRequest(9));
    ASSERT_TRUE(m_inLog.WaitForCount(MIM_LONGDATA, 1));
    const auto replyTime = std::chrono::steady_clock::now() - m_driver.LongMessages().at(1).done;
    EXPECT_GE(replyTime, 180ms);
    EXPECT_LT(replyTime, 1s);

    m_driver.SetPace(EmulatedMidiDriver::Pace::FullSpeed);
    const auto start = std::chrono::steady_clock::now();
    SendAndWait(ProgramRequest(9));
    ASSERT_TRUE(m_inLog.WaitForCount(MIM_LONGDATA, 2));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 150ms);
    EXPECT_EQ(m_inLog.Entries(MIM_LONGDATA)[1].bytes, dump);
}

TEST_F(EmulatedMidiDriverTest, MalformedRepliesAndInjectedErrorsComeBackAsLongErrors)
{
    OpenAndStart();
    m_device.SetReplyMode(EmulatedDevice::ReplyMode::Malformed);
    SendAndWait(ProgramRequest(2));
    ASSERT_TRUE(m_inLog.WaitForCount(MIM_LONGERROR, 1));
    EXPECT_EQ(m_inLog.Entries(MIM_LONGERROR)[0].bytes, m_device.ProgramMessage(2));

    m_driver.InjectLongError();
    ASSERT_TRUE(m_inLog.WaitForCount(MIM_LONGERROR, 2));
    EXPECT_EQ(m_inLog.Entries(MIM_LONGERROR)[1].header, &m_inHeaders[1]);
    EXPECT_EQ(m_inLog.Count(MIM_LONGDATA), 0u);
}

TEST_F(EmulatedMidiDriverTest, AnEndlessStreamFlowsWhileBuffersComeBackAndStopsWithTheReset)
{
    OpenAndStart();
    RequeueFromCallback();
    m_device.SetReplyMode(EmulatedDevice::ReplyMode::Endless);
    SendAndWait(ProgramRequest(1));
    ASSERT_TRUE(m_inLog.WaitForCount(MIM_LONGDATA, 400));
    EXPECT_FALSE(m_driver.WaitUntilIdle(20ms));

    // Without buffers the stream waits; the reset then ends it for good.
    m_requeue = false;
    ASSERT_TRUE(m_driver.WaitUntilIdle());
    const auto streaming = [this] {
        bool result = false;
        m_driver.WithDevice([&](EmulatedDevice& device) { result = device.IsStreaming(); });
        return result;
    };
    EXPECT_TRUE(streaming());
    ASSERT_EQ(m_driver.midiInReset(m_in), 0u);
    EXPECT_FALSE(streaming());
    QueueInput(1);
    m_driver.midiInStart(m_in);
    EXPECT_TRUE(m_driver.WaitUntilIdle());
    EXPECT_EQ(m_driver.midiInReset(m_in), 0u);
    EXPECT_EQ(m_inLog.Entries(MIM_LONGDATA).back().bytes.size(), 0u);
}

