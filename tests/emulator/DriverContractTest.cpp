// The parts of winmm's contract that the program's tests rely on the emulated driver to keep:
// callbacks from a thread of the driver's own, in order, with winmm's header flags; resets
// that hand every buffer back before they return; winmm's error codes.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <array>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "emulator/EmulatedMidiDriver.h"
#include "protocol/SysExMessages.h"

namespace
{
using Bytes = std::vector<std::uint8_t>;
constexpr UINT HeaderSize = sizeof(MIDIHDR);
constexpr DWORD Flags = MHDR_DONE | MHDR_INQUEUE | MHDR_PREPARED;

// Every buffer that comes back to one port, recorded on whatever thread it comes.
struct Returns
{
    struct Entry
    {
        MIDIHDR* header;
        DWORD flags;  // as seen in the callback
        Bytes bytes;
        std::thread::id thread;
    };

    static void CALLBACK Proc(HANDLE, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR)
    {
        auto& self = *reinterpret_cast<Returns*>(instance);
        auto* header = reinterpret_cast<MIDIHDR*>(param1);
        if (message != MIM_LONGDATA && message != MOM_DONE)
            return;
        std::unique_lock<std::mutex> lock(self.mutex);
        self.entries.push_back({header, header->dwFlags,
                                Bytes(header->lpData, header->lpData + header->dwBytesRecorded),
                                std::this_thread::get_id()});
        self.changed.notify_all();
        lock.unlock();
        if (self.reaction)
            self.reaction(header);
    }

    std::vector<Entry> WaitFor(std::size_t count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(5), [&] { return entries.size() >= count; });
        return entries;
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Entry> entries;
    std::function<void(MIDIHDR*)> reaction;
};
}

class DriverContractTest : public ::testing::Test
{
protected:
    void Open()
    {
        ASSERT_EQ(0u, m_driver.midiOutOpen(&m_out, 0, reinterpret_cast<DWORD_PTR>(Returns::Proc),
                                           reinterpret_cast<DWORD_PTR>(&m_sent), CALLBACK_FUNCTION));
        ASSERT_EQ(0u, m_driver.midiInOpen(&m_in, 0, reinterpret_cast<DWORD_PTR>(Returns::Proc),
                                          reinterpret_cast<DWORD_PTR>(&m_received), CALLBACK_FUNCTION | MIDI_IO_STATUS));
        for (std::size_t i = 0; i < m_inHeaders.size(); ++i)
        {
            m_inHeaders[i] = MIDIHDR{m_inData[i].data(), 4096};
            ASSERT_EQ(0u, m_driver.midiInPrepareHeader(m_in, &m_inHeaders[i], HeaderSize));
            ASSERT_EQ(0u, m_driver.midiInAddBuffer(m_in, &m_inHeaders[i], HeaderSize));
        }
        ASSERT_EQ(0u, m_driver.midiInStart(m_in));
    }

    MMRESULT Send(const Bytes& bytes)
    {
        m_outData.assign(bytes.begin(), bytes.end());
        m_outHeader = MIDIHDR{m_outData.data(), static_cast<DWORD>(bytes.size())};
        EXPECT_EQ(0u, m_driver.midiOutPrepareHeader(m_out, &m_outHeader, HeaderSize));
        return m_driver.midiOutLongMsg(m_out, &m_outHeader, HeaderSize);
    }

    static Bytes ProgramRequest(int program)
    {
        Bytes request(SysEx::ProgramDumpRequestLength);
        BuildProgramDumpRequest(request.data(), 1, program);
        return request;
    }

    void TearDown() override
    {
        m_received.reaction = nullptr;
        m_driver.midiInReset(m_in);
        m_driver.midiInClose(m_in);
        m_driver.midiOutReset(m_out);
        m_driver.midiOutClose(m_out);
    }

    EmulatedDevice m_device;
    Returns m_sent, m_received;
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
    m_received.reaction = [&](MIDIHDR* header) {
        if (header != &m_inHeaders[1])
            return;
        m_driver.midiInReset(m_in);
        handedBackDuringReset = m_received.entries.size() - 2;
    };
    ASSERT_EQ(0u, Send(ProgramRequest(200)));
    const auto blocks = m_received.WaitFor(3);
    ASSERT_EQ(3u, blocks.size());
    EXPECT_EQ(DWORD{MHDR_DONE | MHDR_PREPARED}, m_sent.WaitFor(1).at(0).flags & Flags);
    EXPECT_EQ(&m_inHeaders[0], blocks[0].header);
    EXPECT_EQ(DWORD{MHDR_DONE | MHDR_PREPARED}, blocks[0].flags & Flags);
    EXPECT_NE(std::this_thread::get_id(), blocks[0].thread);
    Bytes received = blocks[0].bytes;
    received.insert(received.end(), blocks[1].bytes.begin(), blocks[1].bytes.end());
    EXPECT_EQ(m_device.ProgramMessage(200), received);
    EXPECT_EQ(1u, handedBackDuringReset);
    EXPECT_EQ(0u, m_driver.midiInClose(m_in));

    // A message still on the wire keeps its port open, and comes back from an output reset.
    ASSERT_EQ(0u, m_driver.midiOutUnprepareHeader(m_out, &m_outHeader, HeaderSize));
    m_driver.SetPace(EmulatedMidiDriver::Pace::WireRate);
    ASSERT_EQ(0u, Send(Bytes(4000, 0x10)));  // 1.3 s on the wire
    EXPECT_EQ(MIDIERR_STILLPLAYING, m_driver.midiOutClose(m_out));
    ASSERT_EQ(0u, m_driver.midiOutReset(m_out));
    EXPECT_EQ(2u, m_sent.entries.size());
    EXPECT_EQ(0u, m_driver.midiOutUnprepareHeader(m_out, &m_outHeader, HeaderSize));
    EXPECT_EQ(0u, m_driver.midiOutClose(m_out));
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
    MIDIHDR unprepared{m_inData[0].data(), 8};
    EXPECT_EQ(MIDIERR_UNPREPARED, m_driver.midiOutLongMsg(m_out, &unprepared, HeaderSize));

    m_driver.FailCall(MidiCall::OutLongMsg, MIDIERR_NOTREADY, 1);
    EXPECT_EQ(0u, Send(ProgramRequest(1)));
    m_sent.WaitFor(1);
    ASSERT_EQ(0u, m_driver.midiOutUnprepareHeader(m_out, &m_outHeader, HeaderSize));
    EXPECT_EQ(MIDIERR_NOTREADY, Send(ProgramRequest(1))) << "the failure hits the chosen call";
    EXPECT_EQ(0u, m_outHeader.dwFlags & MHDR_INQUEUE) << "a failed call changes nothing";
    ASSERT_EQ(0u, m_driver.midiOutUnprepareHeader(m_out, &m_outHeader, HeaderSize));

    // Handles are never reused: a closed one stays invalid after a new opening.
    const HMIDIOUT closed = m_out;
    ASSERT_EQ(0u, m_driver.midiOutClose(m_out));
    ASSERT_EQ(0u, m_driver.midiOutOpen(&m_out, 0, 0, 0, CALLBACK_NULL));
    EXPECT_EQ(MMSYSERR_INVALHANDLE, m_driver.midiOutShortMsg(closed, 0xC0));
}
