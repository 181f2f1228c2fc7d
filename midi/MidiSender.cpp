#include "midi/MidiSender.h"

#include <algorithm>
#include <mutex>

#include "midi/ChosenPort.h"
#include "midi/MidiApp.h"
#include "midi/MidiCallbacks.h"
#include "midi/MidiDriver.h"
#include "midi/MidiLog.h"
#include "midi/MidiPortState.h"
#include "protocol/SysExMessages.h"
#include "resources/resource.h"

namespace
{
constexpr UINT HeaderSize = sizeof(MIDIHDR);
constexpr UINT_PTR OverdueTimerId = 1;
constexpr UINT_PTR ReportTimerId = 2;
constexpr UINT_PTR CloseTimerId = 3;
constexpr wchar_t WindowClass[] = L"SysExDumpMidiSender";
UINT g_overdueGraceMs = DefaultOverdueGraceMs;

bool IsShortMessage(const std::vector<unsigned char>& message)
{
    return message.size() <= 3 && message.front() != SysEx::Start;
}
}

UINT OverdueGraceMs()
{
    return g_overdueGraceMs;
}

void SetOverdueGraceMs(UINT milliseconds)
{
    g_overdueGraceMs = milliseconds;
}

struct CMidiSender::Transfer
{
    MidiSendListener* listener = nullptr;
    std::vector<unsigned char> bytes;  // the messages back to back; the headers point into it
    std::vector<Piece> pieces;
    std::size_t next = 0;              // the next piece to hand over
    SendResult result;
    std::uint64_t lineBefore = 0;      // what the clock had been given before this send
    std::uint64_t completed = 0;       // bytes the driver has finished
    std::uint64_t pausesDone = 0;
    std::int64_t leavesAt = 0;         // when the last piece handed over leaves, by the clock
    bool cancelled = false;
};

CMidiSender& CMidiSender::Instance()
{
    static CMidiSender sender;
    return sender;
}

LRESULT CALLBACK CMidiSender::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CMidiSender& sender = Instance();
    switch (message)
    {
    case WM_MIDI_EVENT: sender.Deliver(); return 0;
    case WM_ONE_SHOT_TIMER:
        if (sender.m_next.Elapsed(wParam))
            sender.Pump();
        return 0;
    case WM_TIMER:
        KillTimer(window, wParam);
        if (wParam == OverdueTimerId)
        {
            sender.m_overdueTimerAt = 0;
            sender.CheckOverdue();
        }
        else if (wParam == ReportTimerId)
            sender.ReportDue();
        else
            sender.CloseWhenIdle();
        return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

UINT CMidiSender::OpenOutput(int port)
{
    if (m_window == nullptr)
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = WindowClass;
        RegisterClassW(&windowClass);
        m_window = CreateWindowExW(0, WindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   windowClass.hInstance, nullptr);
        if (m_window == nullptr)
            return IDS_OUT_OF_MEMORY;
    }
    if (m_output != nullptr && m_outputFor == port)
        return 0;
    if (m_output != nullptr)
    {
        if (m_active || !m_reports.empty())
            return IDS_STILL_SENDING;
        CloseOutput();
    }
    const int number = port >= 0 ? port : ChosenPortNow(PortDirection::Output);
    if (number < 0)
        return RefusalShown;
    MidiPortState& state = PortState();
    HMIDIOUT output = nullptr;
    ++state.outputOpening;
    const MMRESULT opened =
        Midi().midiOutOpen(&output, number, reinterpret_cast<DWORD_PTR>(MidiOutProc), 0, CALLBACK_FUNCTION);
    if (opened != MMSYSERR_NOERROR)
        return opened == MMSYSERR_ALLOCATED ? IDS_OUTPUT_IN_USE : IDS_OUTPUT_OPEN_FAILED;
    state.outputHandle = m_output = output;
    m_outputFor = port;
    return 0;
}

BOOL CMidiSender::Send(std::vector<std::vector<unsigned char>> messages, MidiSendListener* listener)
{
    auto transfer = std::make_unique<Transfer>();
    transfer->listener = listener;
    const std::size_t most = UnderWine() ? SIZE_MAX : MidiBufferSize;
    for (const auto& message : messages)
    {
        if (message.empty())
            continue;
        const std::size_t start = transfer->bytes.size();
        transfer->bytes.insert(transfer->bytes.end(), message.begin(), message.end());
        const bool isShort = IsShortMessage(message);
        for (std::size_t at = 0; at < message.size();)
        {
            const std::size_t length = isShort ? message.size() : std::min(message.size() - at, most);
            transfer->pieces.push_back({start + at, length, at == 0, at + length == message.size(), isShort});
            at += length;
        }
        ++transfer->result.messages;
    }
    transfer->result.bytes = transfer->bytes.size();
    transfer->lineBefore = PortState().wireClock.BytesHandedOver();
    m_active = std::move(transfer);
    m_failedAtOnce = false;
    // To the port the window opened; the chosen one when none is open.
    if (const UINT refusal = OpenOutput(m_output != nullptr ? m_outputFor : -1))
        Fail(refusal, MMSYSERR_NOERROR);
    Pump();
    return !m_failedAtOnce;
}

const CMidiSender::Transfer* CMidiSender::Find(const MidiSendListener* listener) const
{
    if (m_active && m_active->listener == listener)
        return m_active.get();
    for (const Report& report : m_reports)
        if (report.transfer->listener == listener)
            return report.transfer.get();
    return nullptr;
}

bool CMidiSender::Carries(const MidiSendListener* listener) const
{
    return Find(listener) != nullptr;
}

void CMidiSender::Cancel(const MidiSendListener* listener)
{
    if (!m_active || m_active->listener != listener)
        return;
    m_active->cancelled = true;
    Pump();
}

void CMidiSender::Forget(const MidiSendListener* listener)
{
    if (m_active && m_active->listener == listener)
        m_active->listener = nullptr;
    for (Report& report : m_reports)
        if (report.transfer->listener == listener)
            report.transfer->listener = nullptr;
}

SendProgress CMidiSender::Progress(const MidiSendListener* listener) const
{
    SendProgress progress;
    const Transfer* found = Find(listener);
    if (found == nullptr)
        return progress;
    const Transfer& t = *found;
    const std::uint64_t left = PortState().wireClock.BytesLeft(LineNow());
    progress.bytes = t.result.bytes;
    progress.bytesLeft = std::min(left > t.lineBefore ? left - t.lineBefore : 0, t.completed);
    progress.pausesDone = t.pausesDone;
    const std::uint64_t pauses = PortState().pauseMs > 0 && t.result.messages > 0 ? t.result.messages - 1 : 0;
    progress.pausesLeft = pauses > t.pausesDone ? pauses - t.pausesDone : 0;
    return progress;
}

std::int64_t CMidiSender::ExpectedEnd() const
{
    const WireClock& clock = PortState().wireClock;
    std::int64_t end = std::max(clock.FreeAt(), LineNow());
    if (m_active)
        for (std::size_t i = m_active->next; i < m_active->pieces.size(); ++i)
            end += static_cast<std::int64_t>(m_active->pieces[i].length) * clock.ByteTime();
    return end;
}

void CMidiSender::OnDriverEvent(const MidiEvent& event)
{
    HWND post = nullptr;
    {
        std::lock_guard<std::mutex> lock(MidiRoutingLock());
        if (m_events.empty())
            post = m_window;
        m_events.push_back(event);
    }
    if (post != nullptr)
        PostMessageW(post, WM_MIDI_EVENT, 0, 0);
}

void CMidiSender::Deliver()
{
    for (;;)
    {
        MidiEvent event;
        {
            std::lock_guard<std::mutex> lock(MidiRoutingLock());
            if (m_events.empty())
                return;
            event = m_events.front();
            m_events.pop_front();
        }
        // A port closed since (after a reset) hands back what it held: that is stale.
        if (event.message == MOM_DONE && event.opening == PortState().outputOpening)
            OnCompletion(reinterpret_cast<MIDIHDR*>(event.param1), event.stamp);
    }
}

std::size_t CMidiSender::InDriver() const
{
    return static_cast<std::size_t>(
        std::count_if(std::begin(m_slots), std::end(m_slots), [](const Slot& slot) { return slot.busy; }));
}

void CMidiSender::Pump()
{
    m_next.Cancel();
    while (m_active)
    {
        Transfer& t = *m_active;
        // Cancel takes effect where a message begins: the one on its way goes out whole. After
        // a failure nothing more is handed over, but what the driver holds is let finish.
        if (t.next == t.pieces.size() || t.result.outcome == SendOutcome::Failed ||
            (t.cancelled && t.pieces[t.next].first))
        {
            if (InDriver() == 0)
                Finish();
            return;
        }
        Slot* slot = std::find_if(std::begin(m_slots), std::end(m_slots), [](const Slot& s) { return !s.busy; });
        if (slot == std::end(m_slots))
            return;
        const Piece& piece = t.pieces[t.next];
        const std::int64_t pauseUs = std::int64_t{PortState().pauseMs} * 1000;
        // The pause counts from the completion of the message before, so it waits for it.
        if (piece.first && pauseUs > 0 && InDriver() > 0)
            return;
        std::int64_t due =
            PortState().wireClock.EarliestHandOver(piece.length, LineBufferSize, LineBufferMargin, UnderWine());
        if (piece.first && pauseUs > 0 && m_pauseFrom != 0)
            due = std::max(due, m_pauseFrom + pauseUs);
        const UINT wait = MillisecondsUntil(due);
        if (wait > 0 && m_next.Start(m_window, wait))
            return;
        HandOver(*slot, t.next);  // a failure ends the send at the top of the loop
    }
}

BOOL CMidiSender::HandOver(Slot& slot, std::size_t index)
{
    Transfer& t = *m_active;
    const Piece& piece = t.pieces[index];
    WireClock& clock = PortState().wireClock;
    if (piece.first && index > 0 && PortState().pauseMs > 0)
        ++t.pausesDone;
    unsigned char* bytes = t.bytes.data() + piece.offset;
    // Stamped before the call: a driver that blocks until the bytes have left returns when
    // the clock says they have.
    const std::int64_t now = LineNow();
    if (piece.isShort)
    {
        DWORD packed = 0;
        for (std::size_t i = 0; i < piece.length; ++i)
            packed |= DWORD{bytes[i]} << (8 * i);
        if (const MMRESULT result = Midi().midiOutShortMsg(m_output, packed); result != MMSYSERR_NOERROR)
            return Fail(IDS_SEND_REFUSED, result);
        ++t.next;
        t.leavesAt = m_pauseFrom = clock.HandOver(now, piece.length);
        t.completed += piece.length;
        ++t.result.whole;
        return TRUE;
    }
    if (slot.header.dwFlags & MHDR_PREPARED)  // one the driver would not release before
        Midi().midiOutUnprepareHeader(m_output, &slot.header, HeaderSize);
    slot.header = MIDIHDR{};
    slot.header.lpData = reinterpret_cast<LPSTR>(bytes);
    slot.header.dwBufferLength = static_cast<DWORD>(piece.length);
    if (Midi().midiOutPrepareHeader(m_output, &slot.header, HeaderSize) != MMSYSERR_NOERROR)
        return Fail(IDS_OUTPUT_PREPARE_FAILED, MMSYSERR_NOERROR);
    slot.piece = index;
    if (const MMRESULT result = Midi().midiOutLongMsg(m_output, &slot.header, HeaderSize); result != MMSYSERR_NOERROR)
    {
        // Refused: no completion will ever come for it.
        Midi().midiOutUnprepareHeader(m_output, &slot.header, HeaderSize);
        return Fail(IDS_SEND_REFUSED, result);
    }
    slot.busy = true;
    ++t.next;
    t.leavesAt = slot.leavesAt = clock.HandOver(now, piece.length);
    CheckOverdue();
    return TRUE;
}

void CMidiSender::OnCompletion(MIDIHDR* header, std::int64_t stamp)
{
    Slot* slot = std::find_if(std::begin(m_slots), std::end(m_slots), [header](const Slot& s) { return &s.header == header; });
    if (slot == std::end(m_slots) || !slot->busy || !m_active)
        return;
    Transfer& t = *m_active;
    slot->busy = false;
    // A piece waiting in the driver behind this one starts only now: a slow interface is not
    // a stalled one.
    for (Slot& queued : m_slots)
        if (queued.busy)
            queued.leavesAt = std::max(queued.leavesAt, stamp + static_cast<std::int64_t>(queued.header.dwBufferLength) *
                                                                 PortState().wireClock.ByteTime());
    const Piece& piece = t.pieces[slot->piece];
    t.completed += piece.length;
    if (piece.last)
    {
        ++t.result.whole;
        // The pause follows the silence on the line, or the completion if that comes later.
        m_pauseFrom = std::max(stamp, slot->leavesAt);
    }
    // One the driver will not release stays prepared; the closing tries again.
    if (Midi().midiOutUnprepareHeader(m_output, header, HeaderSize) != MMSYSERR_NOERROR)
        Fail(IDS_OUTPUT_UNPREPARE_FAILED, MMSYSERR_NOERROR);
    CheckOverdue();
    Pump();
}

void CMidiSender::CheckOverdue()
{
    std::int64_t oldest = INT64_MAX;
    for (const Slot& slot : m_slots)
        if (slot.busy)
            oldest = std::min(oldest, slot.leavesAt);
    if (oldest == INT64_MAX)
        return;
    const std::int64_t deadline = oldest + std::int64_t{g_overdueGraceMs} * 1000;
    if (LineNow() >= deadline)
        return Stop();
    // A timer due no later looks again when it fires: setting one for every piece would cost
    // two calls to the window system per piece, the most of a piece's turnaround at full speed.
    if (m_overdueTimerAt != 0 && m_overdueTimerAt <= deadline)
        return;
    if (SetTimer(m_window, OverdueTimerId, MillisecondsUntil(deadline), nullptr))
        m_overdueTimerAt = deadline;
}

void CMidiSender::StopOverdueTimer()
{
    KillTimer(m_window, OverdueTimerId);
    m_overdueTimerAt = 0;
}

BOOL CMidiSender::Fail(UINT errorId, MMRESULT driverResult)
{
    SendResult& result = m_active->result;
    if (result.outcome != SendOutcome::Failed)
    {
        result.outcome = SendOutcome::Failed;
        result.errorId = errorId;
        result.driverResult = driverResult;
    }
    m_failedAtOnce = true;
    return FALSE;
}

void CMidiSender::Finish()
{
    StopOverdueTimer();
    std::unique_ptr<Transfer> t = std::move(m_active);
    if (t->result.outcome != SendOutcome::Failed)
        t->result.outcome = t->next == t->pieces.size() ? SendOutcome::Sent : SendOutcome::Cancelled;
    t->result.bytesLeft = t->completed;
    const std::int64_t at = std::max(t->leavesAt, LineNow());
    m_reports.push_back({std::move(t), at});
    ReportDue();
}

void CMidiSender::Stop()
{
    m_next.Cancel();
    StopOverdueTimer();
    std::unique_ptr<Transfer> t = std::move(m_active);
    TheMidiLog().Note(m_output, MidiLogEvent::Overdue);
    Midi().midiOutReset(m_output);
    for (Slot& slot : m_slots)
    {
        if (slot.header.dwFlags & MHDR_PREPARED)
            Midi().midiOutUnprepareHeader(m_output, &slot.header, HeaderSize);
        slot.busy = false;
    }
    // What the reset handed back must not complete a later send's header.
    CloseOutput();
    const std::uint64_t left = PortState().wireClock.BytesLeft(LineNow());
    t->result.outcome = SendOutcome::Stopped;
    t->result.bytesLeft = std::min(left > t->lineBefore ? left - t->lineBefore : 0, t->completed);
    m_reports.push_back({std::move(t), LineNow()});
    ReportDue();
}

void CMidiSender::ReportDue()
{
    KillTimer(m_window, ReportTimerId);
    while (!m_reports.empty() && m_reports.front().at <= LineNow())
    {
        const std::unique_ptr<Transfer> ended = std::move(m_reports.front().transfer);
        m_reports.pop_front();
        if (ended->listener != nullptr)
            ended->listener->OnSendEnded(ended->result);
    }
    if (!m_reports.empty())
        SetTimer(m_window, ReportTimerId, MillisecondsUntil(m_reports.front().at), nullptr);
    CloseWhenIdle();
}

void CMidiSender::CloseWhenIdle()
{
    if (m_active || !m_reports.empty() || m_output == nullptr)
        return;
    const UINT wait = MillisecondsUntil(PortState().wireClock.FreeAt());
    if (wait == 0 || !SetTimer(m_window, CloseTimerId, wait, nullptr))
        CloseOutput();
}

void CMidiSender::CloseOutput()
{
    KillTimer(m_window, CloseTimerId);
    MidiPortState& state = PortState();
    if (m_output == nullptr)
        return;
    for (Slot& slot : m_slots)
        if (slot.header.dwFlags & MHDR_PREPARED)
            Midi().midiOutUnprepareHeader(m_output, &slot.header, HeaderSize);
    const MMRESULT result = Midi().midiOutClose(m_output);
    if (result == MMSYSERR_NOERROR || result == MMSYSERR_INVALHANDLE)
    {
        state.outputHandle = m_output = nullptr;
        ++state.outputOpening;
    }
}
