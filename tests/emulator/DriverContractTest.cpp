// The parts of winmm's contract that the program's tests rely on the emulated driver to keep:
// callbacks from a thread of the driver's own, in order, with winmm's header flags; resets
// that hand every buffer back before they return; winmm's error codes.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <array>
#include <functional>
#include <thread>

#include "emulator/EmulatedMidiDriver.h"
#include "protocol/SysExMessages.h"

namespace
{
using Bytes = std::vector<std::uint8_t>;
constexpr UINT HeaderSize = sizeof(MIDIHDR);
constexpr DWORD Flags = MHDR_DONE | MHDR_INQUEUE | MHDR_PREPARED;

// An input block as its callback saw it.
struct Block
{
    MIDIHDR* header;
    DWORD flags;
    Bytes bytes;
    std::thread::id thread;
};
}

class DriverContractTest : public ::testing::Test
{
protected:
    static void CALLBACK InputProc(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR)
    {
        auto& self = *reinterpret_cast<DriverContractTest*>(instance);
        auto* header = reinterpret_cast<MIDIHDR*>(param1);
        if (message != MIM_LONGDATA)
            return;
        self.m_blocks.push_back({header, header->dwFlags, Bytes(header->lpData, header->lpData + header->dwBytesRecorded),
                                 std::this_thread::get_id()});
        if (self.m_onBlock)
            self.m_onBlock(header);
    }

    void Open()
    {
        ASSERT_EQ(0u, m_driver.midiOutOpen(&m_out, 0, 0, 0, CALLBACK_NULL));
        ASSERT_EQ(0u, m_driver.midiInOpen(&m_in, 0, reinterpret_cast<DWORD_PTR>(InputProc),
                                          reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION | MIDI_IO_STATUS));
        for (std::size_t i = 0; i < m_inHeaders.size(); ++i)
        {
            m_inHeaders[i] = MIDIHDR{m_inData[i].data(), 4096, 0, 0, 0, nullptr, 0, 0, {}};
            ASSERT_EQ(0u, m_driver.midiInPrepareHeader(m_in, &m_inHeaders[i], HeaderSize));
            ASSERT_EQ(0u, m_driver.midiInAddBuffer(m_in, &m_inHeaders[i], HeaderSize));
        }
        ASSERT_EQ(0u, m_driver.midiInStart(m_in));
    }

    // Sends a program request, or `bytes`, from a freshly prepared header.
    MMRESULT Send(Bytes bytes = {})
    {
        if (bytes.empty())
        {
            bytes.resize(SysEx::ProgramDumpRequestLength);
            BuildProgramDumpRequest(bytes.data(), 1, 200);
        }
        m_outData.assign(bytes.begin(), bytes.end());
        m_outHeader = MIDIHDR{m_outData.data(), static_cast<DWORD>(bytes.size()), 0, 0, 0, nullptr, 0, 0, {}};
        EXPECT_EQ(0u, m_driver.midiOutPrepareHeader(m_out, &m_outHeader, HeaderSize));
        return m_driver.midiOutLongMsg(m_out, &m_outHeader, HeaderSize);
    }

    void TearDown() override
    {
        m_onBlock = nullptr;
        m_driver.midiInReset(m_in);
        m_driver.midiInClose(m_in);
        m_driver.midiOutReset(m_out);
        m_driver.midiOutClose(m_out);
    }

    EmulatedDevice m_device;
    std::vector<Block> m_blocks;  // written by the driver's thread, read once it is idle
    std::function<void(MIDIHDR*)> m_onBlock;
    std::array<std::vector<char>, 3> m_inData{std::vector<char>(4096), std::vector<char>(4096), std::vector<char>(4096)};
    std::array<MIDIHDR, 3> m_inHeaders{};
    std::vector<char> m_outData;
    MIDIHDR m_outHeader{};
    HMIDIIN m_in = nullptr;
    HMIDIOUT m_out = nullptr;
    // Last, so that it is destroyed first: its worker may call back into the members above.
    EmulatedMidiDriver m_driver{m_device};
};

// A 5000-byte reply comes as a full buffer, then the rest, in order, from the driver's thread;
// a reset from a block's callback (as the program's reception closes its input) hands the
// other buffers back before it returns.
TEST_F(DriverContractTest, CallbacksComeInOrderFromTheDriversThreadAndResetsHandEverythingBack)
{
    Open();
    std::size_t handedBackDuringReset = 0;
    m_onBlock = [&](MIDIHDR* header) {
        if (header != &m_inHeaders[1])
            return;
        m_driver.midiInReset(m_in);
        handedBackDuringReset = m_blocks.size() - 2;
    };
    ASSERT_EQ(0u, Send());
    ASSERT_TRUE(m_driver.WaitUntilIdle());
    ASSERT_EQ(3u, m_blocks.size());
    EXPECT_EQ(DWORD{MHDR_DONE | MHDR_PREPARED}, m_outHeader.dwFlags & Flags);
    EXPECT_EQ(&m_inHeaders[0], m_blocks[0].header);
    EXPECT_EQ(DWORD{MHDR_DONE | MHDR_PREPARED}, m_blocks[0].flags & Flags);
    EXPECT_NE(std::this_thread::get_id(), m_blocks[0].thread);
    Bytes received = m_blocks[0].bytes;
    received.insert(received.end(), m_blocks[1].bytes.begin(), m_blocks[1].bytes.end());
    EXPECT_EQ(m_device.ProgramMessage(200), received);
    EXPECT_EQ(1u, handedBackDuringReset);
    EXPECT_EQ(0u, m_driver.midiInClose(m_in));
}

TEST_F(DriverContractTest, ErrorCodesFollowWinmm)
{
    EXPECT_EQ(MMSYSERR_BADDEVICEID, m_driver.midiInOpen(&m_in, 1, 0, 0, CALLBACK_NULL));
    Open();
    HMIDIIN second = nullptr;
    EXPECT_EQ(MMSYSERR_ALLOCATED, m_driver.midiInOpen(&second, 0, 0, 0, CALLBACK_NULL));
    HMIDIOUT secondOut = nullptr;
    EXPECT_EQ(MMSYSERR_ALLOCATED, m_driver.midiOutOpen(&secondOut, 0, 0, 0, CALLBACK_NULL));
    EXPECT_EQ(MMSYSERR_INVALHANDLE, m_driver.midiInStart(reinterpret_cast<HMIDIIN>(m_out)));
    EXPECT_EQ(MIDIERR_STILLPLAYING, m_driver.midiInClose(m_in)) << "buffers are still queued";
    EXPECT_EQ(MIDIERR_STILLPLAYING, m_driver.midiInUnprepareHeader(m_in, &m_inHeaders[0], HeaderSize));
    MIDIHDR unprepared{m_inData[0].data(), 8, 0, 0, 0, nullptr, 0, 0, {}};
    EXPECT_EQ(MIDIERR_UNPREPARED, m_driver.midiOutLongMsg(m_out, &unprepared, HeaderSize));

    m_driver.FailCall(MidiCall::OutLongMsg, MIDIERR_NOTREADY, 1);
    EXPECT_EQ(0u, Send());
    ASSERT_TRUE(m_driver.WaitUntilIdle());
    ASSERT_EQ(0u, m_driver.midiOutUnprepareHeader(m_out, &m_outHeader, HeaderSize));
    EXPECT_EQ(MIDIERR_NOTREADY, Send()) << "the failure hits the chosen call";
    EXPECT_EQ(0u, m_outHeader.dwFlags & MHDR_INQUEUE) << "a failed call changes nothing";
    ASSERT_EQ(0u, m_driver.midiOutUnprepareHeader(m_out, &m_outHeader, HeaderSize));
}
