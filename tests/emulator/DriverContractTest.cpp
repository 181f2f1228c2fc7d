// The parts of winmm's contract that the program's tests rely on the emulated driver to keep:
// callbacks from a thread of the driver's own, in order, with winmm's header flags; resets
// that hand every buffer back before they return; winmm's error codes. Then the line
// behaviours that model the drivers users have: when a message is done, and what reaches the
// device when.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <functional>
#include <thread>

#include "emulator/EmulatedMidiDriver.h"
#include "protocol/SysExMessages.h"
#include "support/Bytes.h"

namespace
{
using Line = EmulatedMidiDriver::Line;
constexpr UINT HeaderSize = sizeof(MIDIHDR);
constexpr DWORD Flags = MHDR_DONE | MHDR_INQUEUE | MHDR_PREPARED;
constexpr auto WirePerByte = std::chrono::microseconds(320);

// An input block as its callback saw it.
struct Block
{
    MIDIHDR* header;
    DWORD flags;
    Bytes bytes;
    std::thread::id thread;
    UINT message;
};

// A message of `size` bytes that the device records and otherwise ignores.
Bytes Foreign(std::size_t size, std::uint8_t fill = 0x01)
{
    return Bytes{SysEx::Start, 0x7D} + Bytes(size - 3, fill) + Bytes{SysEx::End};
}

// A fresh driver with its device, opened at once: one input port with three 4096-byte buffers
// queued and started, and one output port; both ports call back.
struct Rig
{
    explicit Rig(Line line = Line::Cable, EmulatedMidiDriver::Pace pace = EmulatedMidiDriver::Pace::FullSpeed)
    { driver.SetLine(line), driver.SetPace(pace), Open(); }

    ~Rig()
    {
        onBlock = nullptr, driver.midiInReset(in), driver.midiInClose(in);
        driver.midiOutReset(out), driver.midiOutClose(out);
    }

    static void CALLBACK InputProc(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR)
    {
        auto& self = *reinterpret_cast<Rig*>(instance);
        auto* header = reinterpret_cast<MIDIHDR*>(param1);
        if (message != MIM_LONGDATA && message != MIM_LONGERROR)
            return;
        self.blocks.push_back({header, header->dwFlags, Bytes(header->lpData, header->lpData + header->dwBytesRecorded),
                               std::this_thread::get_id(), message});
        if (self.onBlock)
            self.onBlock(header);
    }

    static void CALLBACK OutputProc(HMIDIOUT, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR)
    {
        if (message == MOM_DONE)
            reinterpret_cast<Rig*>(instance)->doneThreads.push_back(std::this_thread::get_id());
    }

    void Open()
    {
        const auto self = reinterpret_cast<DWORD_PTR>(this);
        ASSERT_EQ(0u, driver.midiOutOpen(&out, 0, reinterpret_cast<DWORD_PTR>(OutputProc), self, CALLBACK_FUNCTION));
        ASSERT_EQ(0u, driver.midiInOpen(&in, 0, reinterpret_cast<DWORD_PTR>(InputProc), self,
                                        CALLBACK_FUNCTION | MIDI_IO_STATUS));
        for (std::size_t i = 0; i < inHeaders.size(); ++i)
        {
            inHeaders[i] = MIDIHDR{inData[i].data(), 4096, 0, 0, 0, nullptr, 0, 0, {}};
            ASSERT_EQ(0u, driver.midiInPrepareHeader(in, &inHeaders[i], HeaderSize));
            ASSERT_EQ(0u, driver.midiInAddBuffer(in, &inHeaders[i], HeaderSize));
        }
        ASSERT_EQ(0u, driver.midiInStart(in));
    }

    // Sends a program request, or `bytes`, from output header `which`, freshly prepared.
    MMRESULT Send(Bytes bytes = {}, std::size_t which = 0)
    {
        if (bytes.empty())
            bytes.resize(SysEx::ProgramDumpRequestLength), BuildProgramDumpRequest(bytes.data(), 1, 200);
        outData[which].assign(bytes.begin(), bytes.end());
        outHeaders[which] = MIDIHDR{outData[which].data(), static_cast<DWORD>(bytes.size()), 0, 0, 0, nullptr, 0, 0, {}};
        EXPECT_EQ(0u, driver.midiOutPrepareHeader(out, &outHeaders[which], HeaderSize));
        return driver.midiOutLongMsg(out, &outHeaders[which], HeaderSize);
    }

    std::vector<Bytes> Received()
    { std::vector<Bytes> got; driver.WithDevice([&](EmulatedDevice& d) { got = d.ReceivedMessages(); }); return got; }
    std::size_t ShortsReceived() { std::size_t n = 0; driver.WithDevice([&](EmulatedDevice& d) { n = d.ShortMessages().size(); }); return n; }

    EmulatedDevice device;
    std::vector<Block> blocks;  // written by the driver's thread, read once it is idle
    std::vector<std::thread::id> doneThreads;  // the same
    std::function<void(MIDIHDR*)> onBlock;
    std::array<std::vector<char>, 3> inData{std::vector<char>(4096), std::vector<char>(4096), std::vector<char>(4096)};
    std::array<MIDIHDR, 3> inHeaders{};
    std::array<std::vector<char>, 2> outData;
    std::array<MIDIHDR, 2> outHeaders{};
    HMIDIIN in = nullptr; HMIDIOUT out = nullptr;
    // Last, so that it is destroyed first: its worker may call back into the members above.
    EmulatedMidiDriver driver{device};
};
}

// A 5000-byte reply comes as a full buffer, then the rest, in order, from the driver's thread;
// a reset from a block's callback (as the program's reception closes its input) hands the
// other buffers back before it returns.
TEST(DriverContractTest, CallbacksComeInOrderFromTheDriversThreadAndResetsHandEverythingBack)
{
    Rig r;
    std::size_t handedBackDuringReset = 0;
    r.onBlock = [&](MIDIHDR* header) {
        if (header == &r.inHeaders[1])
            r.driver.midiInReset(r.in), handedBackDuringReset = r.blocks.size() - 2;
    };
    ASSERT_EQ(0u, r.Send());
    ASSERT_TRUE(r.driver.WaitUntilIdle());
    ASSERT_EQ(3u, r.blocks.size());
    EXPECT_EQ(DWORD{MHDR_DONE | MHDR_PREPARED}, r.outHeaders[0].dwFlags & Flags);
    EXPECT_EQ(&r.inHeaders[0], r.blocks[0].header);
    EXPECT_EQ(DWORD{MHDR_DONE | MHDR_PREPARED}, r.blocks[0].flags & Flags);
    EXPECT_NE(std::this_thread::get_id(), r.blocks[0].thread);
    EXPECT_EQ(r.device.ProgramMessage(200), r.blocks[0].bytes + r.blocks[1].bytes);
    EXPECT_EQ(1u, handedBackDuringReset);
    EXPECT_EQ(0u, r.driver.midiInClose(r.in));

    // Wine's driver writes bytes into the buffer as they arrive: a reset in the middle of a
    // message hands back what has arrived.
    Rig wine(Line::Alsa, EmulatedMidiDriver::Pace::WireRate);
    const Bytes message = Foreign(3000);
    wine.driver.InjectInput(message);
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5); wine.driver.HeldInputBytes() == 0 && std::chrono::steady_clock::now() < end;)
        std::this_thread::yield();
    const std::size_t held = wine.driver.HeldInputBytes();
    ASSERT_EQ(0u, wine.driver.midiInReset(wine.in));
    ASSERT_EQ(3u, wine.blocks.size());
    EXPECT_EQ(Bytes(message.begin(), message.begin() + std::max<std::size_t>({held, 1, wine.blocks[0].bytes.size()})), wine.blocks[0].bytes);
}

TEST(DriverContractTest, ErrorCodesFollowWinmm)
{
    Rig r;
    HMIDIIN second = nullptr; HMIDIOUT secondOut = nullptr;
    EXPECT_EQ(MMSYSERR_BADDEVICEID, r.driver.midiInOpen(&second, 1, 0, 0, CALLBACK_NULL));
    EXPECT_EQ(MMSYSERR_ALLOCATED, r.driver.midiInOpen(&second, 0, 0, 0, CALLBACK_NULL));
    EXPECT_EQ(MMSYSERR_ALLOCATED, r.driver.midiOutOpen(&secondOut, 0, 0, 0, CALLBACK_NULL));
    EXPECT_EQ(MMSYSERR_INVALHANDLE, r.driver.midiInStart(reinterpret_cast<HMIDIIN>(r.out)));
    EXPECT_EQ(MIDIERR_STILLPLAYING, r.driver.midiInClose(r.in)) << "buffers are still queued";
    EXPECT_EQ(MIDIERR_STILLPLAYING, r.driver.midiInUnprepareHeader(r.in, &r.inHeaders[0], HeaderSize));
    MIDIHDR unprepared{r.inData[0].data(), 8, 0, 0, 0, nullptr, 0, 0, {}};
    EXPECT_EQ(MIDIERR_UNPREPARED, r.driver.midiOutLongMsg(r.out, &unprepared, HeaderSize));

    r.driver.FailCall(MidiCall::OutLongMsg, MIDIERR_NOTREADY, 1);
    EXPECT_EQ(0u, r.Send());
    ASSERT_TRUE(r.driver.WaitUntilIdle());
    ASSERT_EQ(0u, r.driver.midiOutUnprepareHeader(r.out, &r.outHeaders[0], HeaderSize));
    EXPECT_EQ(MIDIERR_NOTREADY, r.Send()) << "the failure hits the chosen call";
    EXPECT_EQ(0u, r.outHeaders[0].dwFlags & MHDR_INQUEUE) << "a failed call changes nothing";
    ASSERT_EQ(0u, r.driver.midiOutUnprepareHeader(r.out, &r.outHeaders[0], HeaderSize));
}

// At the wire rate, two 300-byte messages (96 ms each) with a program change behind the
// first, the second reset at once, then a 4,000-byte message (1.28 s) and the port closed
// right after it: when each line says "done", on which thread, what reaches the device, and
// whether the close waits for the line.
TEST(DriverContractTest, EachLineCompletesAndDeliversAsItsDriverDoes)
{
    // driverHolds: done inside midiOutLongMsg, before the last byte has left: the driver holds the
    // bytes, a short message waits behind them, and a reset cannot take them back. stallsSecond:
    // set to stall from the second message. closeDrains: a close returns once the line is empty.
    const struct { const char* name; Line line; bool driverHolds, stallsSecond, closeDrains; } rows[] = {
        {"cable", Line::Cable, false, false, false}, {"alsa", Line::Alsa, true, false, true},
        {"midisrv", Line::Midisrv, true, false, false}, {"stalled", Line::Stalled, false, true, false},
    };
    const Bytes message = Foreign(300);
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.name);
        Line parsed = Line::Cable;
        ASSERT_TRUE(ParseLine(row.name, parsed) && parsed == row.line);
        Rig r(parsed, EmulatedMidiDriver::Pace::WireRate);
        r.driver.SetStallFrom(1);
        ASSERT_EQ(0u, r.Send(message));
        EXPECT_EQ(row.driverHolds, r.driver.LongMessages()[0].isDone);
        ASSERT_EQ(0u, r.driver.midiOutShortMsg(r.out, 0x05C0));
        EXPECT_EQ(row.driverHolds ? 0u : 1u, r.ShortsReceived());
        EXPECT_TRUE(r.Received().empty()) << "nothing reaches the device before it has left the line";
        ASSERT_TRUE(r.driver.WaitUntilIdle());
        EXPECT_EQ(1u, r.ShortsReceived());
        const auto first = r.driver.LongMessages()[0];
        EXPECT_EQ(row.driverHolds, first.done - first.handedOver < WirePerByte * 300);
        ASSERT_EQ(1u, r.doneThreads.size());
        EXPECT_EQ(row.driverHolds, r.doneThreads[0] == std::this_thread::get_id());
        EXPECT_EQ(1u, r.Received().size());

        ASSERT_EQ(0u, r.Send(message, 1));
        EXPECT_TRUE(!row.stallsSecond || !r.driver.WaitUntilIdle(std::chrono::milliseconds(200))) << "never completes";
        EXPECT_EQ(0u, r.driver.midiOutReset(r.out));
        EXPECT_EQ(DWORD{MHDR_DONE | MHDR_PREPARED}, r.outHeaders[1].dwFlags & Flags) << "handed back by the reset";
        ASSERT_TRUE(r.driver.WaitUntilIdle());
        EXPECT_EQ(row.driverHolds ? 2u : 1u, r.Received().size());
        EXPECT_EQ(0u, r.driver.DroppedOutputBytes());
        if (!row.driverHolds && !row.stallsSecond)
        {
            // Two messages handed over together go out one after the other, never overlapping
            // (a completion may come late, never early).
            ASSERT_EQ(0u, r.Send(message, 0));
            ASSERT_EQ(0u, r.Send(message, 1));
            ASSERT_TRUE(r.driver.WaitUntilIdle());
            const auto sent = r.driver.LongMessages();
            EXPECT_GE(sent[3].done - sent[2].handedOver, WirePerByte * 600);
        }

        const Bytes long4000 = Foreign(4000, 0x03);
        ASSERT_EQ(0u, r.Send(long4000));
        ASSERT_EQ(row.driverHolds ? MMSYSERR_NOERROR : MIDIERR_STILLPLAYING, r.driver.midiOutClose(r.out));
        if (!row.driverHolds)
            continue;
        EXPECT_EQ(row.closeDrains, EmulatedMidiDriver::Clock::now() >= r.driver.LineTransfers().back().endsAt);
        EXPECT_EQ(row.closeDrains, r.Received().back() == long4000);
        ASSERT_TRUE(r.driver.WaitUntilIdle());
        EXPECT_EQ(long4000, r.Received().back()) << "what the driver holds still leaves after the close";
    }
    Line unchanged = Line::Alsa;
    EXPECT_FALSE(ParseLine("wire", unchanged));
}

// Wine hands each buffer to the kernel as a message of its own, in 32-byte chunks, into a
// 4096-byte buffer that drains at the wire rate: a 600-byte message that finds 3,600 bytes
// held loses its tail from the chunk that does not fit, and pieces go out wrapped in F0...F7.
// A short message that does not fit is dropped whole; the MIDI service's buffer has no limit.
TEST(DriverContractTest, AlsaDropsWhatItsKernelBufferCannotHoldAndWrapsEveryPiece)
{
    Rig r(Line::Alsa, EmulatedMidiDriver::Pace::WireRate);
    ASSERT_EQ(0u, r.Send(Foreign(3600)));
    ASSERT_EQ(0u, r.Send(Foreign(600, 0x02), 1));
    const auto sent = r.driver.LongMessages();
    const auto drained = static_cast<std::size_t>((sent[1].handedOver - sent[0].handedOver) / WirePerByte);
    const std::size_t kept = std::min<std::size_t>(600, (4096 - 3600 + drained) / 32 * 32);
    EXPECT_EQ(600 - kept, r.driver.DroppedOutputBytes());
    for (const Bytes& piece : {Bytes{0xF0, 0x7D, 0x03}, Bytes{0x04, 0xF7}, Bytes{0x05}})
        ASSERT_EQ(0u, r.Send(piece));
    EXPECT_EQ(Bytes{0x05}, r.driver.LongMessages().back().bytes) << "the record keeps what was handed over";
    ASSERT_TRUE(r.driver.WaitUntilIdle());
    std::vector<Bytes> expected{Foreign(3600), Foreign(600, 0x02), {0xF0, 0x7D, 0x03, 0xF7}, {0xF0, 0x04, 0xF7}, {0xF0, 0x05, 0xF7}};
    if (kept < 600)  // the test was not held up long enough for the buffer to drain
        expected.erase(expected.begin() + 1);
    EXPECT_EQ(expected, r.Received());

    for (const Line line : {Line::Alsa, Line::Midisrv})
    {
        Rig tiny(line, EmulatedMidiDriver::Pace::WireRate);
        tiny.driver.SetKernelBufferSize(1);
        ASSERT_EQ(0u, tiny.Send(Foreign(300)));
        ASSERT_EQ(0u, tiny.driver.midiOutShortMsg(tiny.out, 0x05C0));
        ASSERT_TRUE(tiny.driver.WaitUntilIdle());
        const bool drops = line == Line::Alsa;
        EXPECT_EQ(drops ? 302u : 0u, tiny.driver.DroppedOutputBytes());
        EXPECT_EQ(drops ? 0u : 1u, tiny.Received().size() * tiny.ShortsReceived());
    }
}

// Four messages for three buffers: under Wine the fourth finds none and is lost at once, under
// the MIDI service after a short wait, so a buffer queued afterwards gets the fifth; on a
// cable the fourth waits for it.
TEST(DriverContractTest, InputDropsWhatFindsNoBuffer)
{
    for (const Line line : {Line::Cable, Line::Alsa, Line::Midisrv})
    {
        SCOPED_TRACE(static_cast<int>(line));
        Rig r(line);
        const auto injected = EmulatedMidiDriver::Clock::now();
        r.driver.InjectInput({0xF0, 1, 0xF7, 0xF0, 2, 0xF7, 0xF0, 3, 0xF7, 0xF0, 4, 0xF7});
        ASSERT_TRUE(r.driver.WaitUntilIdle());
        EXPECT_TRUE(line != Line::Midisrv || EmulatedMidiDriver::Clock::now() - injected >= EmulatedInputPort::ServiceWait);
        const bool drops = line != Line::Cable;
        EXPECT_EQ(drops ? 3u : 0u, r.driver.DroppedInputBytes());
        ASSERT_EQ(0u, r.driver.midiInAddBuffer(r.in, &r.inHeaders[0], HeaderSize));
        r.driver.InjectInput({0xF0, 5, 0xF7});
        ASSERT_TRUE(r.driver.WaitUntilIdle());
        ASSERT_EQ(4u, r.blocks.size());
        EXPECT_EQ((Bytes{0xF0, 3, 0xF7}), r.blocks[2].bytes) << "each buffer holds one message";
        EXPECT_EQ((Bytes{0xF0, drops ? std::uint8_t{5} : std::uint8_t{4}, 0xF7}), r.blocks[3].bytes);
    }
}

// What the MIDI service makes of the bytes that arrive, in three 4096-byte buffers: only System
// Exclusive reaches them; F7 or a full buffer hands one back, a status byte inside System
// Exclusive hands it back as an error; a reset hands back one holding bytes as an error and
// the empty ones as data.
TEST(DriverContractTest, MidisrvInputKeepsSystemExclusiveOnly)
{
    using Blocks = std::vector<std::pair<UINT, Bytes>>;
    const Bytes long4102 = Bytes{0xF0} + Bytes(4100, 0x11) + Bytes{0xF7};
    const struct { const char* name; Bytes arriving; bool reset; Blocks expected; } rows[] = {
        {"F7 ends a buffer", {0xF0, 1, 0xF7, 0xF0, 2, 0xF7}, false, {{MIM_LONGDATA, {0xF0, 1, 0xF7}}, {MIM_LONGDATA, {0xF0, 2, 0xF7}}}},
        {"a full buffer goes back, the rest fills the next", long4102, false,
         {{MIM_LONGDATA, Bytes(long4102.begin(), long4102.begin() + 4096)}, {MIM_LONGDATA, Bytes(long4102.begin() + 4096, long4102.end())}}},
        {"a program change inside System Exclusive ends it as an error", {0xF0, 1, 2, 0xC0, 5, 0xF0, 3, 0xF7}, false,
         {{MIM_LONGERROR, {0xF0, 1, 2}}, {MIM_LONGDATA, {0xF0, 3, 0xF7}}}},
        {"real-time bytes and bytes outside System Exclusive are left out", {0x7F, 0xF8, 0xF0, 1, 0xFE, 2, 0xF7, 0xF7, 5}, false, {{MIM_LONGDATA, {0xF0, 1, 2, 0xF7}}}},
        {"a reset hands back bytes as an error, empty buffers as data", {0xF0, 1, 2}, true,
         {{MIM_LONGERROR, {0xF0, 1, 2}}, {MIM_LONGDATA, {}}, {MIM_LONGDATA, {}}}},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.name);
        Rig r(Line::Midisrv);
        r.driver.InjectInput(row.arriving);
        ASSERT_TRUE(r.driver.WaitUntilIdle());
        EXPECT_EQ(0u, row.reset ? r.driver.midiInReset(r.in) : 0u);
        Blocks blocks;
        for (const Block& block : r.blocks)
            blocks.emplace_back(block.message, block.bytes);
        EXPECT_EQ(row.expected, blocks);
    }
}
