// Transfer figures of the bulk dialogs on the emulated device, each the median of several runs:
// - a bulk send of 64 KB of the device's own messages at the MIDI wire rate, as a share of
//   the line's 3,125 bytes a second;
// - a bulk send and a bulk receive of 16 MB at full speed, as a multiple of the wire rate,
//   every byte checked;
// - the turnaround from one piece's completion to the next piece handed to the driver, and
//   at the wire rate how much time went to the turnarounds and how much to the driver
//   reporting a piece done later than its last byte left the line;
// - for each line behaviour of the emulated driver (cable; alsa with the kernel buffer raised
//   to 16384 bytes and with the default 4096, the program in its Wine mode; midisrv), a bulk
//   send of the device's whole memory at the wire rate, without a pause and with 150 ms: the
//   bytes that reached the device intact, the wire rate and the silence before each message
//   as the emulated line saw them, and the time left the dialog showed at a quarter of the
//   transfer against the time the line really took to its last byte.
// scripts/bench.sh (make bench) then runs the line figures again while a fresh clone of the
// repository builds, to show what a loaded machine does to them.
// The dialogs run hidden, exactly as the program runs them; message boxes are answered here.
// Exits with 1 when a run did not deliver intact every byte it must (on alsa with the default
// kernel buffer, all but the messages the dialog warned of); a goal missed is only reported.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "app/DumpApp.h"
#include "dialogs/BulkReceiveDialog.h"
#include "dialogs/BulkSendDialog.h"
#include "dialogs/MidiLogDialog.h"
#include "emulator/EmulatedDevice.h"
#include "emulator/EmulatedMidiDriver.h"
#include "framework/Dialog.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "framework/WinApp.h"
#include "midi/MidiApp.h"
#include "midi/MidiDriver.h"
#include "midi/MidiPortState.h"
#include "resources/resource.h"
#include "support/Pump.h"

CDumpApp theApp;

namespace
{
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr double WireRate = 3125.0;  // bytes a second at 31,250 baud
constexpr std::size_t WireRunBytes = 64 * 1024;
// Full speed, as a multiple of the wire rate, on an unloaded machine (the log open or not).
constexpr double FullSpeedGoal = 2500;

// Settable on the command line: transfer_bench [--no-wire] [--mb N] [--runs N] [--lines-only | --no-lines]
// [--line NAME] (one line's figures, e.g. "alsa 4096") [--log-open] (the MIDI log window shown,
// refreshing, through every run).
bool g_logOpen = false;
std::string g_onlyLine;  // --line NAME: that line's figures alone
bool g_wireRuns = true;
bool g_fullSpeedRuns = true;
bool g_lineRuns = true;
std::size_t g_fullSpeedBytes = 16 * 1024 * 1024;
int g_wireRunCount = 3;
int g_fullSpeedRunCount = 3;

std::vector<std::string> g_boxes;

double Seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Whole messages of the device's bulk dump, over and over, up to `limit` bytes.
Bytes RealisticMessages(std::size_t limit)
{
    EmulatedDevice device;
    const Bytes dump = device.BulkDump();
    Bytes messages;
    std::size_t start = 0;
    for (;;)
    {
        const auto end = std::find(dump.begin() + static_cast<std::ptrdiff_t>(start), dump.end(), 0xF7);
        const std::size_t length = static_cast<std::size_t>(end - dump.begin()) + 1 - start;
        if (messages.size() + length > limit)
            return messages;
        messages.insert(messages.end(), dump.begin() + static_cast<std::ptrdiff_t>(start),
                        dump.begin() + static_cast<std::ptrdiff_t>(start + length));
        start = (start + length) % dump.size();
    }
}

std::string TempFile(const char* name)
{
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    return std::string(folder) + name;
}

bool WriteFileBytes(const std::string& path, const Bytes& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

Bytes ReadFileBytes(const std::string& path)
{
    Bytes bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size))
    {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        DWORD read = 0;
        if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size())
            bytes.clear();
    }
    CloseHandle(file);
    return bytes;
}

// A fresh device on its cable, as the program finds it at start-up.
class Session
{
public:
    explicit Session(EmulatedMidiDriver::Pace pace) : m_driver(m_device)
    {
        m_driver.SetPace(pace);
        SetMidiDriver(&m_driver);
        // The program's wire clock runs at the line's pace; at full speed the line is
        // infinitely fast, as in the demo's full pace.
        PortState().wireClock = WireClock{};
        PortState().wireClock.SetByteTime(pace == EmulatedMidiDriver::Pace::FullSpeed ? 0 : WireClock::CableByteTime);
    }
    ~Session()
    {
        m_driver.WaitUntilIdle();
        SetMidiDriver(nullptr);
    }

    EmulatedMidiDriver& Driver() { return m_driver; }

private:
    EmulatedDevice m_device;
    EmulatedMidiDriver m_driver;
};

// Runs a bulk dialog modally as the current MIDI window; `started` acts once it is ready.
INT_PTR RunBulkDialog(CMidiDialog& dialog, const std::function<void()>& started)
{
    CDialog::SetModalStartHook([&](CDialog& running) {
        if (&running == &dialog)
            started();
    });
    SetCurrentMidiWindow(&dialog);
    const INT_PTR result = dialog.DoModal();
    SetCurrentMidiWindow(nullptr);
    CDialog::SetModalStartHook(nullptr);
    return result;
}

void PressOk(CDialog& dialog)
{
    PostMessageA(dialog.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

struct SendRun
{
    bool ok = false;
    double seconds = 0;  // first piece handed over to last piece done
    std::vector<double> turnaroundsMs;
    // How much later than its bytes' wire time the driver reported each piece done.
    std::vector<double> completionLatenessMs;
};

// One bulk send of `file`, left to the dialog's own modal loop from OK to its end.
SendRun BulkSend(EmulatedMidiDriver::Pace pace, const std::string& file, const Bytes& content)
{
    SendRun run;
    Session session(pace);
    EmulatedMidiDriver& driver = session.Driver();
    g_boxes.clear();

    CBulkSendDialog dialog;
    dialog.m_fileName = file;
    const INT_PTR result = RunBulkDialog(dialog, [&] { PressOk(dialog); });

    const auto pieces = driver.LongMessages();
    Bytes sent;
    for (std::size_t i = 0; i < pieces.size(); ++i)
    {
        sent.insert(sent.end(), pieces[i].bytes.begin(), pieces[i].bytes.end());
        // A piece handed over before the one ahead of it was done waited in the driver: no
        // turnaround idled the line, and its own time starts when the one ahead was done.
        const auto startsAt = i > 0 ? std::max(pieces[i].handedOver, pieces[i - 1].done) : pieces[i].handedOver;
        if (i > 0)
            run.turnaroundsMs.push_back(1000 * Seconds(startsAt - pieces[i - 1].done));
        if (pace == EmulatedMidiDriver::Pace::WireRate)
            run.completionLatenessMs.push_back(1000 * (Seconds(pieces[i].done - startsAt) -
                                                       pieces[i].bytes.size() / WireRate));
    }
    Bytes received;
    driver.WithDevice([&](EmulatedDevice& device) {
        for (const auto& message : device.ReceivedMessages())
            received.insert(received.end(), message.begin(), message.end());
    });
    const bool allDone = !pieces.empty() && std::all_of(pieces.begin(), pieces.end(),
                                                        [](const auto& piece) { return piece.isDone; });
    run.ok = result == IDOK && g_boxes.empty() && allDone && sent == content && received == content;
    if (allDone)
        run.seconds = Seconds(pieces.back().done - pieces.front().handedOver);
    if (!run.ok)
        std::printf("  bulk send run failed: result %d, %zu boxes, %zu of %zu bytes sent, %zu received\n",
                    static_cast<int>(result), g_boxes.size(), sent.size(), content.size(), received.size());
    return run;
}

struct ReceiveRun
{
    bool ok = false;
    double seconds = 0;      // from the first byte on the line to the last byte counted
    double saveSeconds = 0;  // OK: storing the file
};

// One bulk receive: `content` arrives as the device's answer, all of it on the line at once
// (the device itself stays silent), and OK stores it when the last byte has been counted.
ReceiveRun BulkReceive(const std::string& file, const Bytes& content)
{
    ReceiveRun run;
    Session session(EmulatedMidiDriver::Pace::FullSpeed);
    EmulatedMidiDriver& driver = session.Driver();
    driver.WithDevice([](EmulatedDevice& device) { device.SetReplyMode(EmulatedDevice::ReplyMode::Silent); });
    DeleteFileA(file.c_str());
    g_boxes.clear();

    CBulkReceiveDialog dialog;
    dialog.m_fileName = file;
    bool complete = false;
    const INT_PTR result = RunBulkDialog(dialog, [&] {
        const Clock::time_point start = Clock::now();
        driver.InjectInput(content);
        complete = PumpUntil([&] { return dialog.m_dumpBuffer.m_length >= content.size(); }, 120000);
        const Clock::time_point counted = Clock::now();
        run.seconds = Seconds(counted - start);
        SendMessageA(dialog.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        run.saveSeconds = Seconds(Clock::now() - counted);
    });

    const Bytes stored = ReadFileBytes(file);
    DeleteFileA(file.c_str());
    // The only box is the note that the dump was stored.
    run.ok = complete && result == IDOK && g_boxes.size() == 1 && stored == content;
    if (!run.ok)
        std::printf("  bulk receive run failed: result %d, %zu boxes, %zu of %zu bytes stored\n",
                    static_cast<int>(result), g_boxes.size(), stored.size(), content.size());
    return run;
}

// The pause after each message, at the wire rate: the gaps from one message's completion to
// the next message's first piece handed over.
bool PauseRuns(const std::string& file, const Bytes& content, int pauseMs)
{
    PortState().pauseMs = pauseMs;
    std::vector<double> gaps;
    bool ok = true;
    for (int i = 0; i < g_wireRunCount; ++i)
    {
        const SendRun run = BulkSend(EmulatedMidiDriver::Pace::WireRate, file, content);
        ok = ok && run.ok;
        gaps.insert(gaps.end(), run.turnaroundsMs.begin(), run.turnaroundsMs.end());
    }
    PortState().pauseMs = 0;
    if (gaps.empty())
        return false;
    const double median = Median(gaps);
    const double worst = *std::max_element(gaps.begin(), gaps.end());
    const bool met = std::abs(median - pauseMs) <= 2 && worst - pauseMs <= 20;
    std::printf("  pause %d ms: gap median %.3f ms, worst %.3f ms over %zu gaps (goal: median within 2 ms, "
                "worst within 20 ms): %s\n",
                pauseMs, median, worst, gaps.size(), met ? "met" : "MISSED");
    std::fflush(stdout);
    return ok;
}

void PrintTurnarounds(const char* what, std::vector<double> values)
{
    if (values.empty())
        return;
    const double worst = *std::max_element(values.begin(), values.end());
    const auto waited = std::count(values.begin(), values.end(), 0.0);
    std::printf("  turnaround MOM_DONE -> next piece handed over, %s: median %.3f ms, worst %.3f ms "
                "(%zu pieces, %d of them already waiting in the driver)\n",
                what, Median(values), worst, values.size(), static_cast<int>(waited));
}

// The line figures: one bulk send of the device's whole memory per line and pause.
constexpr int LinePauseMs = 150;

struct LineSetup
{
    const char* name;
    EmulatedMidiDriver::Line line;
    std::size_t kernelBuffer;
    bool underWine;  // the program in its Wine mode: every message goes out whole
    bool rateGoal;   // dropped bytes leave the line idle while the clock counts them
};

const LineSetup LineSetups[] = {
    {"cable", EmulatedMidiDriver::Line::Cable, 4096, false, true},
    {"alsa 16384", EmulatedMidiDriver::Line::Alsa, 16384, true, true},
    {"alsa 4096", EmulatedMidiDriver::Line::Alsa, 4096, true, false},
    {"midisrv", EmulatedMidiDriver::Line::Midisrv, 4096, false, false},
};

// The first time the dialog's progress text shows a quarter or more, with a time left.
struct TimeLeftWatch
{
    HWND control = nullptr;
    bool seen = false;
    Clock::time_point at;
    unsigned percent = 0;
    int secondsLeft = 0;
};
TimeLeftWatch g_watch;

// Reads the progress text as it is set ("25 % sent, about 1 min 12 s left" in the English
// resources the bench loads), so that the moment is the one the user saw.
LRESULT CALLBACK WatchTimeLeft(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && !g_watch.seen && call->message == WM_SETTEXT && call->hwnd == g_watch.control)
    {
        const Clock::time_point now = Clock::now();
        char text[160] = {};
        GetWindowTextA(call->hwnd, text, sizeof text);
        unsigned percent = 0;
        int minutes = 0;
        int seconds = 0;
        bool parsed = std::sscanf(text, "%u %% sent, about %d min %d s", &percent, &minutes, &seconds) == 3;
        if (!parsed)
        {
            minutes = 0;
            parsed = std::sscanf(text, "%u %% sent, about %d s", &percent, &seconds) == 2;
        }
        if (parsed && percent >= 25)
            g_watch = {call->hwnd, true, now, percent, minutes * 60 + seconds};
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::vector<Bytes> SplitMessages(const Bytes& content)
{
    std::vector<Bytes> messages;
    auto start = content.begin();
    while (start != content.end())
    {
        const auto end = std::find(start, content.end(), 0xF7);
        const auto next = end == content.end() ? end : end + 1;
        messages.emplace_back(start, next);
        start = next;
    }
    return messages;
}

struct LineRun
{
    bool ok = false;  // ended with OK, no box, every message it must deliver intact
    bool warned = false;  // the dialog named the longest message before Send
    std::size_t intactBytes = 0;
    std::size_t intactMessages = 0;
    std::size_t lostLong = 0;   // lost messages longer than the default kernel buffer
    std::size_t lostOthers = 0;
    std::size_t droppedBytes = 0;
    std::size_t lineBytes = 0;
    double lineSeconds = 0;  // first byte on the line to the last
    std::vector<double> silencesMs;  // before each message but the first
    std::size_t silencesLeftOut = 0;  // after a message the kernel buffer cut short
    double idleMs = 0;  // the line silent between its first byte and its last
    double idleBeforeLongMs = 0;  // of that, before pieces too long to share the buffer
    std::size_t longPieces = 0;
    bool measurable = true;  // the line's transfers match the messages handed over
    double shownLeft = -1;   // seconds the dialog showed at a quarter
    unsigned shownPercent = 0;
    double realLeft = 0;     // from then until the last byte left the line
};

// What the dialog must say when the send has ended: nothing, unless it goes out in its Wine
// mode with messages longer than the default kernel buffer, which it named before Send; then
// its closing note says every message went out and repeats those (the program cannot know
// whether the buffer was raised).
std::vector<std::string> ExpectedBoxes(const LineSetup& setup, const std::vector<Bytes>& messages)
{
    std::string positions;
    for (std::size_t i = 0; i < messages.size(); ++i)
        if (setup.underWine && messages[i].size() > LineBufferSize)
            positions += (positions.empty() ? "" : ", ") + std::to_string(i + 1);
    if (positions.empty())
        return {};
    return {LoadResString(IDS_BULK_RESULT_ALL, {std::to_string(messages.size())}) + " " +
            LoadResString(IDS_BULK_RESULT_LONG, {positions})};
}

LineRun LineSend(const LineSetup& setup, const std::string& file, const Bytes& content, int pauseMs)
{
    LineRun run;
    Session session(EmulatedMidiDriver::Pace::WireRate);
    EmulatedMidiDriver& driver = session.Driver();
    driver.SetLine(setup.line);
    driver.SetKernelBufferSize(setup.kernelBuffer);
    SetUnderWine(setup.underWine ? 1 : 0);
    PortState().pauseMs = pauseMs;
    g_boxes.clear();
    g_watch = {};
    const std::vector<Bytes> messages = SplitMessages(content);
    std::size_t longest = 0;
    for (const Bytes& message : messages)
        longest = std::max(longest, message.size());

    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, WatchTimeLeft, nullptr, GetCurrentThreadId());
    CBulkSendDialog dialog;
    dialog.m_fileName = file;
    std::string warning;
    const INT_PTR result = RunBulkDialog(dialog, [&] {
        g_watch.control = dialog.GetDlgItem(IDC_SEND_TIME_LEFT);
        warning = dialog.GetDlgItemText(IDC_SEND_WARNING);
        PressOk(dialog);
    });
    if (hook != nullptr)
        UnhookWindowsHookEx(hook);
    PortState().pauseMs = 0;
    SetUnderWine(0);
    driver.WaitUntilIdle(std::chrono::seconds(30));

    run.warned = warning.find(std::to_string(longest)) != std::string::npos;
    std::vector<Bytes> received;
    driver.WithDevice([&](EmulatedDevice& device) { received = device.ReceivedMessages(); });
    // In order: a lost message is skipped, so the ones after it still count.
    auto next = received.begin();
    for (const Bytes& message : messages)
    {
        const auto found = std::find(next, received.end(), message);
        if (found != received.end())
        {
            run.intactBytes += message.size();
            ++run.intactMessages;
            next = found + 1;
        }
        else if (message.size() > LineBufferSize)
            ++run.lostLong;
        else
            ++run.lostOthers;
    }
    run.droppedBytes = driver.DroppedOutputBytes();
    const bool mayLoseLong = setup.underWine && setup.kernelBuffer < longest && run.warned;
    const std::vector<std::string> expected = ExpectedBoxes(setup, messages);
    run.ok = result == IDOK && g_boxes == expected && run.lostOthers == 0 && (run.lostLong == 0 || mayLoseLong);

    const auto transfers = driver.LineTransfers();
    const auto pieces = driver.LongMessages();
    if (!transfers.empty())
    {
        for (const auto& transfer : transfers)
            run.lineBytes += transfer.bytes;
        run.lineSeconds = Seconds(transfers.back().endsAt - transfers.front().startsAt);
        if (g_watch.seen)
        {
            run.shownLeft = g_watch.secondsLeft;
            run.shownPercent = g_watch.percent;
            run.realLeft = Seconds(transfers.back().endsAt - g_watch.at);
        }
    }
    // Each piece handed over is one transfer on the line unless the kernel buffer dropped all of it.
    run.measurable = transfers.size() == pieces.size();
    for (std::size_t i = 1; run.measurable && i < transfers.size(); ++i)
    {
        const double gapMs = 1000 * Seconds(transfers[i].startsAt - transfers[i - 1].endsAt);
        run.idleMs += gapMs;
        if (pieces[i].bytes.size() > LineBufferSize - LineBufferMargin)
        {
            run.idleBeforeLongMs += gapMs;
            ++run.longPieces;
        }
        if (pieces[i].bytes.empty() || pieces[i].bytes[0] != 0xF0)
            continue;  // a later piece of a message sent in pieces
        if (transfers[i - 1].bytes < pieces[i - 1].bytes.size())
            ++run.silencesLeftOut;  // the clock counts the bytes the buffer dropped
        else
            run.silencesMs.push_back(gapMs);
    }
    if (!run.ok)
    {
        std::printf("  line run failed: result %d, %zu boxes (%zu expected), %zu long and %zu other messages lost, "
                    "warned %s\n",
                    static_cast<int>(result), g_boxes.size(), expected.size(), run.lostLong, run.lostOthers,
                    run.warned ? "yes" : "no");
        for (const std::string& box : g_boxes)
            std::printf("    box: %s%s\n", box.c_str(),
                        std::find(expected.begin(), expected.end(), box) != expected.end() ? "" : " (unexpected)");
    }
    return run;
}

struct LineSummary
{
    std::string name;
    std::string intact;
    std::string rate;
    std::string silence;
    std::string timeLeft;
};

const char* Verdict(bool met)
{
    return met ? "met" : "MISSED";
}

std::string Format(const char* format, ...)
{
    char text[400];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

// The bytes intact, for one run; "met" when every message it must deliver arrived whole.
std::string IntactFigure(const LineRun& run, std::size_t totalBytes, std::size_t totalMessages)
{
    return Format("%zu of %zu bytes intact (%zu of %zu messages; lost: %zu longer than %u bytes, %zu others), "
                  "%zu dropped by the kernel buffer: %s",
                  run.intactBytes, totalBytes, run.intactMessages, totalMessages, run.lostLong, LineBufferSize,
                  run.lostOthers, run.droppedBytes, Verdict(run.ok));
}

std::string TimeLeftFigure(const LineRun& run)
{
    if (run.shownLeft < 0)
        return "time left at 25 %: never shown: MISSED";
    const double off = (run.shownLeft - run.realLeft) / run.realLeft;
    return Format("time left at %u %%: shown %.0f s, real %.1f s, %+.1f %% (goal within 10 %%): %s", run.shownPercent,
                  run.shownLeft, run.realLeft, 100 * off, Verdict(std::abs(off) <= 0.10));
}

bool LineRuns()
{
    std::vector<LineSummary> summaries;
    EmulatedDevice device;
    const Bytes content = device.BulkDump();
    const std::size_t messageCount = SplitMessages(content).size();
    const std::string file = TempFile("bench-lines.syx");
    WriteFileBytes(file, content);
    bool allChecked = true;
    for (const LineSetup& setup : LineSetups)
    {
        if (!g_onlyLine.empty() && g_onlyLine != setup.name)
            continue;
        std::printf("line %s%s: bulk send of the device's memory, %zu bytes in %zu messages, %.0f s at the wire "
                    "rate; without a pause, then with %d ms\n",
                    setup.name, setup.underWine ? " (the program in its Wine mode)" : "", content.size(),
                    messageCount, content.size() / WireRate, LinePauseMs);
        std::fflush(stdout);
        LineSummary summary{setup.name, "", "", "", ""};

        const LineRun plain = LineSend(setup, file, content, 0);
        allChecked = allChecked && plain.ok;
        std::printf("  no pause: %s\n", IntactFigure(plain, content.size(), messageCount).c_str());
        const double rate = plain.lineSeconds > 0 ? plain.lineBytes / plain.lineSeconds : 0;
        std::printf("  no pause: wire rate %.1f B/s, %.2f %% of 3,125 B/s (%zu bytes on the line in %.3f s)%s\n", rate,
                    100 * rate / WireRate, plain.lineBytes, plain.lineSeconds,
                    setup.rateGoal ? Format(" (goal >= 99.5 %%): %s", Verdict(rate / WireRate >= 0.995)).c_str()
                                   : " (no goal)");
        if (plain.measurable)
            std::printf("  no pause: the line idle %.0f ms in all, %.0f ms of it before the %zu pieces longer than "
                        "%u bytes (each waits for the buffer to empty)\n",
                        plain.idleMs, plain.idleBeforeLongMs, plain.longPieces, LineBufferSize - LineBufferMargin);
        std::printf("  no pause: %s\n", TimeLeftFigure(plain).c_str());
        std::fflush(stdout);

        const LineRun paused = LineSend(setup, file, content, LinePauseMs);
        allChecked = allChecked && paused.ok;
        std::printf("  pause %d ms: %s\n", LinePauseMs, IntactFigure(paused, content.size(), messageCount).c_str());
        std::string silence = "not measurable: the line's transfers do not match the pieces";
        if (paused.measurable && !paused.silencesMs.empty())
        {
            const double median = Median(paused.silencesMs);
            const double worst = *std::max_element(paused.silencesMs.begin(), paused.silencesMs.end());
            const double least = *std::min_element(paused.silencesMs.begin(), paused.silencesMs.end());
            const bool met = std::abs(median - LinePauseMs) <= 2 && std::abs(worst - LinePauseMs) <= 20 &&
                             std::abs(least - LinePauseMs) <= 20;
            const auto astray = std::count_if(paused.silencesMs.begin(), paused.silencesMs.end(),
                                              [](double ms) { return std::abs(ms - LinePauseMs) > 20; });
            silence = Format("median %.2f ms, shortest %.2f ms, longest %.2f ms over %zu messages, %d more than "
                             "20 ms off",
                             median, least, worst, paused.silencesMs.size(), static_cast<int>(astray));
            if (paused.silencesLeftOut > 0)
                silence += Format(" (%zu after a message the buffer cut short left out)", paused.silencesLeftOut);
            silence += Format(" (goal: median within 2 ms, worst within 20 ms): %s", Verdict(met));
        }
        std::printf("  pause %d ms: silence on the line before each message: %s\n", LinePauseMs, silence.c_str());
        std::printf("  pause %d ms: %s\n", LinePauseMs, TimeLeftFigure(paused).c_str());
        std::fflush(stdout);

        summary.intact = Format("%zu / %zu; %zu / %zu; dropped %zu / %zu", plain.intactBytes, content.size(),
                                paused.intactBytes, content.size(), plain.droppedBytes, paused.droppedBytes);
        summary.rate = Format("%.2f %%", 100 * rate / WireRate);
        summary.silence = paused.silencesMs.empty()
                              ? std::string("-")
                              : Format("median %.2f, worst %.2f", Median(paused.silencesMs),
                                       *std::max_element(paused.silencesMs.begin(), paused.silencesMs.end()));
        const auto leftFigure = [](const LineRun& run) {
            return run.shownLeft < 0 ? std::string("-")
                                     : Format("%.0f s / %.1f s", run.shownLeft, run.realLeft);
        };
        summary.timeLeft = leftFigure(plain) + "; " + leftFigure(paused);
        summaries.push_back(summary);
    }
    DeleteFileA(file.c_str());
    std::printf("| line | bytes intact (no pause; 150 ms), dropped | wire rate | silence before each message, "
                "150 ms pause (ms) | time left at 25 %%, shown / real (no pause; 150 ms) |\n");
    for (const LineSummary& summary : summaries)
        std::printf("| %s | %s | %s | %s | %s |\n", summary.name.c_str(), summary.intact.c_str(),
                    summary.rate.c_str(), summary.silence.c_str(), summary.timeLeft.c_str());
    std::fflush(stdout);
    return allChecked;
}

// The bulk send and receive of many megabytes at full speed, every byte checked.
bool FullSpeedRuns()
{
    bool allChecked = true;
    const Bytes bigContent = RealisticMessages(g_fullSpeedBytes);
    const std::string sendFile = TempFile("bench-send.syx");
    WriteFileBytes(sendFile, bigContent);
    std::printf("bulk send at full speed: %zu bytes, %d runs, every byte checked at the device\n",
                bigContent.size(), g_fullSpeedRunCount);
    std::fflush(stdout);
    std::vector<double> sendMultiples;
    std::vector<double> sendTurnarounds;
    for (int i = 0; i < g_fullSpeedRunCount; ++i)
    {
        const SendRun run = BulkSend(EmulatedMidiDriver::Pace::FullSpeed, sendFile, bigContent);
        allChecked = allChecked && run.ok;
        if (!run.ok)
            continue;
        const double rate = bigContent.size() / run.seconds;
        sendMultiples.push_back(rate / WireRate);
        sendTurnarounds.insert(sendTurnarounds.end(), run.turnaroundsMs.begin(), run.turnaroundsMs.end());
        std::printf("  run %d: %.3f s, %.2f MB/s\n", i + 1, run.seconds, rate / 1e6);
        std::fflush(stdout);
    }
    DeleteFileA(sendFile.c_str());
    if (!sendMultiples.empty())
        std::printf("  median: %.0f x the wire rate (goal >= %.0f x): %s\n", Median(sendMultiples), FullSpeedGoal,
                    Median(sendMultiples) >= FullSpeedGoal ? "met" : "MISSED");
    PrintTurnarounds("full speed", sendTurnarounds);

    const std::string receiveFile = TempFile("bench-receive.syx");
    std::printf("bulk receive at full speed: %zu bytes, %d runs, every byte checked in the file\n",
                bigContent.size(), g_fullSpeedRunCount);
    std::fflush(stdout);
    std::vector<double> receiveMultiples;
    std::vector<double> saveSeconds;
    for (int i = 0; i < g_fullSpeedRunCount; ++i)
    {
        const ReceiveRun run = BulkReceive(receiveFile, bigContent);
        allChecked = allChecked && run.ok;
        if (!run.ok)
            continue;
        const double rate = bigContent.size() / run.seconds;
        receiveMultiples.push_back(rate / WireRate);
        saveSeconds.push_back(run.saveSeconds);
        std::printf("  run %d: %.3f s, %.2f MB/s; storing the file %.3f s\n", i + 1, run.seconds, rate / 1e6,
                    run.saveSeconds);
        std::fflush(stdout);
    }
    if (!receiveMultiples.empty())
        std::printf("  median: %.0f x the wire rate (goal >= %.0f x): %s; storing the file %.3f s\n",
                    Median(receiveMultiples), FullSpeedGoal, Median(receiveMultiples) >= FullSpeedGoal ? "met" : "MISSED",
                    Median(saveSeconds));
    return allChecked;
}

int Run()
{
    bool allChecked = true;
    if (g_wireRuns)
    {
        const Bytes wireContent = RealisticMessages(WireRunBytes);
        const std::string wireFile = TempFile("bench-wire.syx");
        WriteFileBytes(wireFile, wireContent);
        std::printf("bulk send at the wire rate: %zu bytes of the device's messages, %d runs of about %.0f s\n",
                    wireContent.size(), g_wireRunCount, wireContent.size() / WireRate);
        std::fflush(stdout);
        std::vector<double> wireRatios;
        std::vector<double> wireTurnarounds;
        std::vector<double> wireLateness;
        std::vector<double> punctualRatios;
        const double wireSeconds = wireContent.size() / WireRate;
        for (int i = 0; i < g_wireRunCount; ++i)
        {
            const SendRun run = BulkSend(EmulatedMidiDriver::Pace::WireRate, wireFile, wireContent);
            allChecked = allChecked && run.ok;
            if (!run.ok)
                continue;
            const double rate = wireContent.size() / run.seconds;
            wireRatios.push_back(rate / WireRate);
            wireTurnarounds.insert(wireTurnarounds.end(), run.turnaroundsMs.begin(), run.turnaroundsMs.end());
            const auto sum = [](const std::vector<double>& values) {
                return std::accumulate(values.begin(), values.end(), 0.0);
            };
            std::printf("  run %d: %.3f s, %.1f B/s; lost to turnarounds %.1f ms, to late completions "
                        "of the driver %.1f ms\n",
                        i + 1, run.seconds, rate, sum(run.turnaroundsMs), sum(run.completionLatenessMs));
            wireLateness.insert(wireLateness.end(), run.completionLatenessMs.begin(),
                                run.completionLatenessMs.end());
            // What the rate would be with a driver that reports each piece done on time.
            punctualRatios.push_back(wireSeconds / (wireSeconds + sum(run.turnaroundsMs) / 1000));
            std::fflush(stdout);
        }
        DeleteFileA(wireFile.c_str());
        if (!wireRatios.empty())
            std::printf("  median: %.2f %% of 3,125 B/s (goal >= 99.5 %%): %s\n", 100 * Median(wireRatios),
                        Median(wireRatios) >= 0.995 ? "met" : "MISSED");
        PrintTurnarounds("wire rate", wireTurnarounds);
        if (!wireLateness.empty())
        {
            std::printf("  driver's completion after the piece's wire time: median %.3f ms, worst %.3f ms\n",
                        Median(wireLateness), *std::max_element(wireLateness.begin(), wireLateness.end()));
            std::printf("  median without the driver's late completions: %.2f %% of 3,125 B/s\n",
                        100 * Median(punctualRatios));
        }
    }

    if (g_wireRuns)
    {
        // Every message of these is one piece: each gap is a pause.
        const Bytes messages = RealisticMessages(8 * 1024);
        const std::string pauseFile = TempFile("bench-pause.syx");
        WriteFileBytes(pauseFile, messages);
        std::printf("bulk send at the wire rate with a pause after each message: %zu bytes, %d runs each\n",
                    messages.size(), g_wireRunCount);
        for (int pause : {20, 150})
            allChecked = PauseRuns(pauseFile, messages, pause) && allChecked;
        DeleteFileA(pauseFile.c_str());
    }

    if (g_fullSpeedRuns)
        allChecked = FullSpeedRuns() && allChecked;
    if (g_lineRuns)
        allChecked = LineRuns() && allChecked;

    std::printf(allChecked ? "every run delivered intact every byte it must\n" : "SOME RUNS FAILED\n");
    return allChecked ? 0 : 1;
}
}

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
    {
        const std::string option = argv[i];
        if (option == "--no-wire")
            g_wireRuns = false;
        else if (option == "--mb" && i + 1 < argc)
            g_fullSpeedBytes = std::strtoul(argv[++i], nullptr, 10) * 1024 * 1024;
        else if (option == "--runs" && i + 1 < argc)
            g_wireRunCount = g_fullSpeedRunCount = std::max(1, std::atoi(argv[++i]));
        else if (option == "--lines-only")
            g_wireRuns = g_fullSpeedRuns = false;
        else if (option == "--no-lines")
            g_lineRuns = false;
        else if (option == "--line" && i + 1 < argc)
            g_onlyLine = argv[++i];
        else if (option == "--log-open")
            g_logOpen = true;
        else
        {
            std::fprintf(stderr, "usage: transfer_bench [--no-wire] [--mb N] [--runs N] [--lines-only | --no-lines] [--line NAME] "
                                 "[--log-open]\n");
            return 2;
        }
    }
    AfxInitApp(GetModuleHandleA(nullptr));
    HINSTANCE module = LoadLibraryA("reseng.dll");
    if (module == nullptr)
    {
        std::fprintf(stderr, "reseng.dll not found beside the benchmark\n");
        return 2;
    }
    AfxSetResourceHandle(module);
    CDialog::SetCreateHidden(true);
    // The cable as a Windows user has it (under Wine the program would guard the kernel buffer).
    SetUnderWine(0);
    SetMessageBoxHook([](const MessageBoxRequest& request) {
        g_boxes.push_back(request.text);
        return (request.type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    });
    if (!AllocateMidiBuffers())
    {
        std::fprintf(stderr, "the MIDI buffers cannot be allocated\n");
        return 2;
    }
    CMidiLogDialog log;
    if (g_logOpen && log.Create())
        ShowWindow(log.GetSafeHwnd(), SW_SHOWNOACTIVATE);
    const int result = Run();
    FreeMidiBuffers();
    SetMessageBoxHook(nullptr);
    FreeLibrary(module);
    return result;
}
