// The parts of winmm's contract that the program's tests rely on the emulated driver to keep:
// callbacks from a thread of the driver's own, in order, with winmm's header flags; resets
// that hand every buffer back before they return; winmm's error codes.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
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

// Every callback of one port, recorded on whatever thread it comes.
struct Callbacks
{
    struct Entry
    {
        UINT message;
        MIDIHDR* header;
        DWORD flags;  // the header's flags as seen in the callback
        Bytes bytes;  // an input block's recorded bytes
        std::thread::id thread;
    };

    static void CALLBACK Proc(HANDLE, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR)
    {
        auto& self = *reinterpret_cast<Callbacks*>(instance);
        auto* header = reinterpret_cast<MIDIHDR*>(param1);
        const bool block = message == MIM_LONGDATA || message == MOM_DONE;
        Entry entry{message, block ? header : nullptr, block ? header->dwFlags : 0, {}, std::this_thread::get_id()};
        if (message == MIM_LONGDATA)
            entry.bytes.assign(header->lpData, header->lpData + header->dwBytesRecorded);
        {
            std::lock_guard<std::mutex> lock(self.mutex);
            self.entries.push_back(entry);
        }
        self.changed.notify_all();
        if (self.reaction)
            self.reaction(entry);
    }

    std::vector<Entry> Of(UINT message)
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<Entry> found;
        std::copy_if(entries.begin(), entries.end(), std::back_inserter(found),
                     [&](const Entry& e) { return e.message == message; });
        return found;
    }

    bool WaitFor(UINT message, std::size_t count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(5), [&] {
            return std::count_if(entries.begin(), entries.end(), [&](const Entry& e) { return e.message == message; }) >=
                   static_cast<long>(count);
        });
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Entry> entries;
    std::function<void(const Entry&)> reaction;
};

Bytes ProgramRequest(int program)
{
    Bytes request(SysEx::ProgramDumpRequestLength);
    BuildProgramDumpRequest(request.data(), 1, program);
    return request;
}
}

class DriverContractTest : public ::testing::Test
{
protected:
    void Open()
    {
        ASSERT_EQ(0u, m_driver.midiOutOpen(&m_out, 0, reinterpret_cast<DWORD_PTR>(Callbacks::Proc),
                                           reinterpret_cast<DWORD_PTR>(&m_outLog), CALLBACK_FUNCTION));
        ASSERT_EQ(0u, m_driver.midiInOpen(&m_in, 0, reinterpret_cast<DWORD_PTR>(Callbacks::Proc),
                                          reinterpret_cast<DWORD_PTR>(&m_inLog), CALLBACK_FUNCTION | MIDI_IO_STATUS));
        for (std::size_t i = 0; i < m_inHeaders.size(); ++i)
        {
            m_inData[i].assign(4096, 0);
            m_inHeaders[i] = MIDIHDR{};
            m_inHeaders[i].lpData = m_inData[i].data();
            m_inHeaders[i].dwBufferLength = 4096;
            ASSERT_EQ(0u, m_driver.midiInPrepareHeader(m_in, &m_inHeaders[i], HeaderSize));
            ASSERT_EQ(0u, m_driver.midiInAddBuffer(m_in, &m_inHeaders[i], HeaderSize));
        }
        ASSERT_EQ(0u, m_driver.midiInStart(m_in));
    }

    MMRESULT Send(const Bytes& bytes)
    {
        m_outData.assign(bytes.begin(), bytes.end());
        m_outHeader = MIDIHDR{};
        m_outHeader.lpData = m_outData.data();
        m_outHeader.dwBufferLength = static_cast<DWORD>(bytes.size());
        EXPECT_EQ(0u, m_driver.midiOutPrepareHeader(m_out, &m_outHeader, HeaderSize));
        return m_driver.midiOutLongMsg(m_out, &m_outHeader, HeaderSize);
    }

    void TearDown() override
    {
        m_inLog.reaction = nullptr;
        m_driver.midiInReset(m_in);
        m_driver.midiInClose(m_in);
        m_driver.midiOutReset(m_out);
        m_driver.midiOutClose(m_out);
    }

    EmulatedDevice m_device;
    Callbacks m_inLog, m_outLog;
    std::array<std::vector<char>, 3> m_inData;
    std::array<MIDIHDR, 3> m_inHeaders{};
    std::vector<char> m_outData;
    MIDIHDR m_outHeader{};
    HMIDIIN m_in = nullptr;
    HMIDIOUT m_out = nullptr;
    // Last, so that it is destroyed first: its worker may call back into the members above.
    EmulatedMidiDriver m_driver{m_device};
};

TEST_F(DriverContractTest, CallbacksComeInOrderFromTheDriversThreadWithWinmmsFlags)
{
    Open();
    EXPECT_EQ(std::this_thread::get_id(), m_inLog.Of(MIM_OPEN).at(0).thread) << "open notices come during the call";
    ASSERT_EQ(0u, Send(ProgramRequest(200)));  // a 5000-byte reply: a full buffer, then the rest
    ASSERT_TRUE(m_inLog.WaitFor(MIM_LONGDATA, 2));
    const auto done = m_outLog.Of(MOM_DONE).at(0);
    EXPECT_EQ(&m_outHeader, done.header);
    EXPECT_EQ(DWORD{MHDR_DONE | MHDR_PREPARED}, done.flags & (MHDR_DONE | MHDR_INQUEUE | MHDR_PREPARED));
    const auto blocks = m_inLog.Of(MIM_LONGDATA);
    EXPECT_EQ(&m_inHeaders[0], blocks[0].header);
    EXPECT_EQ(&m_inHeaders[1], blocks[1].header);
    EXPECT_EQ(DWORD{MHDR_DONE | MHDR_PREPARED}, blocks[0].flags & (MHDR_DONE | MHDR_INQUEUE | MHDR_PREPARED));
    EXPECT_NE(std::this_thread::get_id(), blocks[0].thread);
    EXPECT_EQ(4096u, blocks[0].bytes.size());
    Bytes received = blocks[0].bytes;
    received.insert(received.end(), blocks[1].bytes.begin(), blocks[1].bytes.end());
    EXPECT_EQ(m_device.ProgramMessage(200), received);
}

TEST_F(DriverContractTest, ResetsHandEveryBufferBackBeforeTheyReturn)
{
    // From the callback of a block, as the program's reception closes its input: the two
    // other buffers come back during the reset.
    Open();
    std::size_t handedBackDuringReset = 0;
    m_inLog.reaction = [&](const Callbacks::Entry& entry) {
        if (entry.header != &m_inHeaders[0])
            return;
        m_driver.midiInReset(m_in);
        handedBackDuringReset = m_inLog.Of(MIM_LONGDATA).size() - 1;
    };
    ASSERT_EQ(0u, Send(ProgramRequest(5)));
    ASSERT_TRUE(m_inLog.WaitFor(MIM_LONGDATA, 3));
    EXPECT_EQ(2u, handedBackDuringReset);
    EXPECT_EQ(0u, m_driver.midiInClose(m_in));

    // A message still on the wire comes back from an output reset, before it returns.
    ASSERT_TRUE(m_outLog.WaitFor(MOM_DONE, 1));
    ASSERT_EQ(0u, m_driver.midiOutUnprepareHeader(m_out, &m_outHeader, HeaderSize));
    m_driver.SetPace(EmulatedMidiDriver::Pace::WireRate);
    ASSERT_EQ(0u, Send(Bytes(4000, 0x10)));  // 1.3 s on the wire
    EXPECT_EQ(MIDIERR_STILLPLAYING, m_driver.midiOutClose(m_out)) << "a message on the wire keeps its port open";
    ASSERT_EQ(0u, m_driver.midiOutReset(m_out));
    EXPECT_EQ(2u, m_outLog.Of(MOM_DONE).size());
    EXPECT_EQ(DWORD{MHDR_DONE}, m_outHeader.dwFlags & (MHDR_DONE | MHDR_INQUEUE));
    EXPECT_EQ(0u, m_driver.midiOutUnprepareHeader(m_out, &m_outHeader, HeaderSize));
    EXPECT_EQ(0u, m_driver.midiOutClose(m_out));
}

TEST_F(DriverContractTest, ErrorCodesFollowWinmm)
{
    EXPECT_EQ(MMSYSERR_BADDEVICEID, m_driver.midiInOpen(&m_in, 1, 0, 0, CALLBACK_NULL));
    Open();
    HMIDIIN second = nullptr;
    EXPECT_EQ(MMSYSERR_ALLOCATED, m_driver.midiInOpen(&second, 0, 0, 0, CALLBACK_NULL));
    EXPECT_EQ(MMSYSERR_INVALHANDLE, m_driver.midiInStart(reinterpret_cast<HMIDIIN>(m_out)));
    EXPECT_EQ(MIDIERR_STILLPLAYING, m_driver.midiInClose(m_in)) << "buffers are still queued";
    EXPECT_EQ(MIDIERR_STILLPLAYING, m_driver.midiInAddBuffer(m_in, &m_inHeaders[0], HeaderSize));
    EXPECT_EQ(MIDIERR_STILLPLAYING, m_driver.midiInUnprepareHeader(m_in, &m_inHeaders[0], HeaderSize));

    MIDIHDR unprepared{};
    unprepared.lpData = m_inData[0].data();
    unprepared.dwBufferLength = 8;
    EXPECT_EQ(MIDIERR_UNPREPARED, m_driver.midiOutLongMsg(m_out, &unprepared, HeaderSize));
    EXPECT_EQ(MMSYSERR_INVALPARAM, m_driver.midiOutPrepareHeader(m_out, &unprepared, 0));

    m_driver.FailCall(MidiCall::OutLongMsg, MIDIERR_NOTREADY, 1);
    EXPECT_EQ(0u, Send(ProgramRequest(1)));
    ASSERT_TRUE(m_outLog.WaitFor(MOM_DONE, 1));
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
