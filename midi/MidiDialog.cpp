#include "midi/MidiDialog.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "midi/ChosenPort.h"
#include "midi/MidiApp.h"
#include "midi/MidiCallbacks.h"
#include "midi/MidiLog.h"
#include "midi/MidiDriver.h"
#include "midi/MidiPortState.h"
#include "protocol/SysExMessages.h"
#include "resources/resource.h"

namespace
{
constexpr UINT HeaderSize = sizeof(MIDIHDR);
UINT g_replyTimeoutMs = DefaultReplyTimeoutMs;
UINT g_overdueGraceMs = DefaultOverdueGraceMs;

bool Closed(MMRESULT result)
{
    return result == MMSYSERR_NOERROR || result == MMSYSERR_INVALHANDLE;
}

void PrepareHeaderFields(MIDIHDR& header, unsigned char* buffer, unsigned length)
{
    header.lpData = reinterpret_cast<LPSTR>(buffer);
    header.dwBufferLength = length;
    header.dwFlags = 0;
}
}

UINT ReplyTimeoutMs()
{
    return g_replyTimeoutMs;
}

void SetReplyTimeoutMs(UINT milliseconds)
{
    g_replyTimeoutMs = milliseconds;
}

UINT OverdueGraceMs()
{
    return g_overdueGraceMs;
}

void SetOverdueGraceMs(UINT milliseconds)
{
    g_overdueGraceMs = milliseconds;
}

CMidiDialog::CMidiDialog(UINT templateId, CDialog* parent) : CDialog(templateId, parent)
{
}

CMidiDialog::~CMidiDialog()
{
    // After this no callback can find the window, and one that already had it has finished
    // queuing into it.
    LeaveCurrentMidiWindow(this);
    {
        std::lock_guard<std::mutex> lock(MidiRoutingLock());
        m_events.clear();
        m_eventWindow = nullptr;
    }
    m_dumpBuffer.Free();
}

BOOL CMidiDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    {
        // Events the driver handed over before the window existed are delivered now.
        std::lock_guard<std::mutex> lock(MidiRoutingLock());
        m_eventWindow = m_hWnd;
        if (!m_events.empty())
            PostMessageA(m_hWnd, WM_MIDI_EVENT, 0, 0);
    }
    m_initFailed = FALSE;
    if (!m_dumpBuffer.Init(MidiBufferSize, MidiBufferSize))
    {
        AfxMessageBox(IDS_OUT_OF_MEMORY, MB_ERROR_BOX);
        EndDialog(-1);
        m_initFailed = TRUE;
    }
    m_timedOut = FALSE;
    return TRUE;
}

void CMidiDialog::CloseOutputPort(HMIDIOUT handle)
{
    MidiPortState& state = PortState();
    if (handle == nullptr)
        return;
    const MMRESULT result = Midi().midiOutClose(handle);
    if (handle == state.outputHandle && Closed(result))
    {
        state.outputHandle = nullptr;
        ++state.outputOpening;
    }
}

void CMidiDialog::CloseInputPort()
{
    MidiPortState& state = PortState();
    HMIDIIN handle = state.inputHandle;
    if (handle == nullptr)
        return;
    // The reset hands the queued buffers back; they are released right here instead of
    // being appended or queued again, and once the port is closed its events are stale.
    m_inputReset = TRUE;
    Midi().midiInReset(handle);
    for (MIDIHDR& header : state.inputHeaders)
    {
        if ((header.dwFlags & MHDR_PREPARED) && Midi().midiInUnprepareHeader(handle, &header, HeaderSize))
            AfxMessageBox(IDS_INPUT_UNPREPARE_FAILED, MB_ERROR_BOX);
    }
    m_inputReset = FALSE;
    if (Closed(Midi().midiInClose(handle)))
        state.inputHandle = nullptr;
    ++state.inputOpening;
}

BOOL CMidiDialog::OutputIsFree()
{
    const MidiPortState& state = PortState();
    const bool inDriver = state.outputHandle != nullptr && (state.outputHeader.dwFlags & MHDR_INQUEUE) != 0;
    if (!inDriver && !m_lineWaitAction)
        return TRUE;
    AfxMessageBox(IDS_STILL_SENDING, MB_ERROR_BOX);
    return FALSE;
}

void CMidiDialog::ReleaseOutputPort()
{
    MidiPortState& state = PortState();
    HMIDIOUT output = state.outputHandle;
    if (output == nullptr)
        return;
    if (state.outputHeader.dwFlags & MHDR_INQUEUE)
        Midi().midiOutReset(output);
    if (state.outputHeader.dwFlags & MHDR_PREPARED)
        Midi().midiOutUnprepareHeader(output, &state.outputHeader, HeaderSize);
    CloseOutputPort(output);
}

int CMidiDialog::OpenPorts(unsigned length)
{
    MidiPortState& state = PortState();
    MidiDriver& driver = Midi();
    if (!OutputIsFree())
        return 0;
    const int outputPort = ChosenPortNow(PortDirection::Output);
    const int inputPort = outputPort < 0 ? -1 : ChosenPortNow(PortDirection::Input);
    if (inputPort < 0)
        return 0;
    m_afterSend = nullptr;
    ReleaseOutputPort();
    CloseInputPort();

    if (!m_dumpBuffer.Reset())
    {
        AfxMessageBox(IDS_OUT_OF_MEMORY, MB_ERROR_BOX);
        EndDialog(-1);
        return 0;
    }

    HMIDIOUT output = nullptr;
    ++state.outputOpening;
    if (const MMRESULT opened = driver.midiOutOpen(&output, outputPort, reinterpret_cast<DWORD_PTR>(MidiOutProc),
                                                   0, CALLBACK_FUNCTION);
        opened != MMSYSERR_NOERROR)
    {
        AfxMessageBox(opened == MMSYSERR_ALLOCATED ? IDS_OUTPUT_IN_USE : IDS_OUTPUT_OPEN_FAILED, MB_ERROR_BOX);
        return 0;
    }
    state.outputHandle = output;

    HMIDIIN input = nullptr;
    ++state.inputOpening;
    if (const MMRESULT opened = driver.midiInOpen(&input, inputPort, reinterpret_cast<DWORD_PTR>(MidiInProc), 0,
                                                  CALLBACK_FUNCTION | MIDI_IO_STATUS);
        opened != MMSYSERR_NOERROR)
    {
        CloseOutputPort(state.outputHandle);
        AfxMessageBox(opened == MMSYSERR_ALLOCATED ? IDS_INPUT_IN_USE : IDS_INPUT_OPEN_FAILED, MB_ERROR_BOX);
        return 0;
    }
    state.inputHandle = input;

    PrepareHeaderFields(state.outputHeader, state.outputBuffer, length);
    if (driver.midiOutPrepareHeader(output, &state.outputHeader, HeaderSize) != MMSYSERR_NOERROR)
    {
        CloseOutputPort(output);
        CloseInputPort();
        AfxMessageBox(IDS_OUTPUT_PREPARE_FAILED, MB_ERROR_BOX);
        return 0;
    }

    // Any failure from here on takes back every input buffer queued so far.
    auto fail = [&](UINT message) {
        driver.midiOutUnprepareHeader(output, &state.outputHeader, HeaderSize);
        CloseOutputPort(output);
        CloseInputPort();
        AfxMessageBox(message, MB_ERROR_BOX);
        return 0;
    };
    for (int i = 0; i < MidiInputBufferCount; ++i)
    {
        MIDIHDR& header = state.inputHeaders[i];
        PrepareHeaderFields(header, state.inputBuffers[i], MidiBufferSize);
        if (driver.midiInPrepareHeader(input, &header, HeaderSize) != MMSYSERR_NOERROR)
            return fail(IDS_INPUT_PREPARE_FAILED);
        if (driver.midiInAddBuffer(input, &header, HeaderSize) != MMSYSERR_NOERROR)
            return fail(IDS_INPUT_ADD_FAILED);
    }
    if (driver.midiInStart(input) != MMSYSERR_NOERROR)
        return fail(IDS_INPUT_START_FAILED);
    return 1;
}

int CMidiDialog::OpenOutputPort(unsigned length, unsigned char* data)
{
    MidiPortState& state = PortState();
    MidiDriver& driver = Midi();
    if (!OutputIsFree())
        return 0;
    const int outputPort = ChosenPortNow(PortDirection::Output);
    if (outputPort < 0)
        return 0;
    m_afterSend = nullptr;
    ReleaseOutputPort();
    CloseInputPort();

    HMIDIOUT output = nullptr;
    ++state.outputOpening;
    if (const MMRESULT opened = driver.midiOutOpen(&output, outputPort, reinterpret_cast<DWORD_PTR>(MidiOutProc),
                                                   0, CALLBACK_FUNCTION);
        opened != MMSYSERR_NOERROR)
    {
        AfxMessageBox(opened == MMSYSERR_ALLOCATED ? IDS_OUTPUT_IN_USE : IDS_OUTPUT_OPEN_FAILED, MB_ERROR_BOX);
        return 0;
    }
    state.outputHandle = output;

    PrepareHeaderFields(state.outputHeader, data != nullptr ? data : state.outputBuffer, length);
    if (driver.midiOutPrepareHeader(output, &state.outputHeader, HeaderSize) != MMSYSERR_NOERROR)
    {
        CloseOutputPort(output);
        AfxMessageBox(IDS_OUTPUT_PREPARE_FAILED, MB_ERROR_BOX);
        return 0;
    }
    return 1;
}

int CMidiDialog::OpenOutputPortFor(const std::vector<unsigned char>& message)
{
    const unsigned length = static_cast<unsigned>(message.size());
    if (length <= MidiBufferSize)
    {
        if (!OpenOutputPort(length))
            return 0;
        std::copy(message.begin(), message.end(), PortState().outputBuffer);
        return 1;
    }
    if (UnderWine() && AfxMessageBox(IDS_CONFIRM_LONG_MESSAGE, {LoadResString(IDS_LONG_MESSAGE, {std::to_string(length)})},
                                     MB_QUESTION_BOX) != IDYES)
        return 0;
    if (!OutputIsFree())
        return 0;
    m_longMessage = message;
    m_longHandedOver = UnderWine() ? length : MidiBufferSize;
    unsigned char* whole = UnderWine() ? m_longMessage.data() : nullptr;
    if (!OpenOutputPort(static_cast<unsigned>(m_longHandedOver), whole))
    {
        m_longMessage.clear();
        return 0;
    }
    if (whole == nullptr)
        std::copy(m_longMessage.begin(), m_longMessage.begin() + MidiBufferSize, PortState().outputBuffer);
    return 1;
}

BOOL CMidiDialog::HandOverOutputBuffer()
{
    MidiPortState& state = PortState();
    // Stamped before the call: a driver that blocks until the bytes have left returns when
    // the clock says they have.
    const std::int64_t now = LineNow();
    const MMRESULT result = Midi().midiOutLongMsg(state.outputHandle, &state.outputHeader, HeaderSize);
    if (result == MMSYSERR_NOERROR)
    {
        state.wireClock.HandOver(now, state.outputHeader.dwBufferLength);
        return TRUE;
    }
    // Refused: no completion will ever come for this message.
    CloseTransaction();
    AfxMessageBox(IDS_SEND_REFUSED, {std::to_string(result)}, MB_ERROR_BOX);
    return FALSE;
}

BOOL CMidiDialog::SendOutputBuffer()
{
    const bool waits = PortState().wireClock.Busy(LineNow());
    WhenLineFree([this, waits] {
        if (!HandOverOutputBuffer())
        {
            // Nothing waits for a reply any more.
            if (waits)
                EnableControls(TRUE);
            return;
        }
        SetTimer(m_hWnd, OverdueTimerId, MillisecondsUntil(PortState().wireClock.FreeAt()) + g_overdueGraceMs,
                 nullptr);
    });
    return m_lineWaitAction || PortState().outputHandle != nullptr;
}

void CMidiDialog::WhenLineFree(std::function<void()> action)
{
    const UINT wait = MillisecondsUntil(PortState().wireClock.FreeAt());
    if (wait == 0 || !SetTimer(m_hWnd, LineWaitTimerId, wait, nullptr))
    {
        action();
        return;
    }
    m_lineWaitAction = std::move(action);
}

void CMidiDialog::OnLineFree()
{
    KillTimer(m_hWnd, LineWaitTimerId);
    std::function<void()> action = std::move(m_lineWaitAction);
    m_lineWaitAction = nullptr;
    if (action)
        action();
}

BOOL CMidiDialog::StartReplyTimer()
{
    // A request still waiting for the line has not gone out yet.
    const UINT wait = m_lineWaitAction ? MillisecondsUntil(PortState().wireClock.FreeAt()) : 0;
    return SetTimer(m_hWnd, ReplyTimerId, g_replyTimeoutMs + wait, nullptr) != 0;
}

void CMidiDialog::OnOverdue()
{
    KillTimer(m_hWnd, OverdueTimerId);
    const MidiPortState& state = PortState();
    if (state.outputHandle == nullptr || (state.outputHeader.dwFlags & MHDR_INQUEUE) == 0)
        return;  // completed; the completion is on its way
    TheMidiLog().Note(state.outputHandle, MidiLogEvent::Overdue);
    CloseTransaction();
    EnableControls(TRUE);
    AfxMessageBox(IDS_SEND_OVERDUE, MB_ERROR_BOX);
}

void CMidiDialog::OnMidiOut(HMIDIOUT handle, UINT message, DWORD_PTR, DWORD_PTR, DWORD_PTR)
{
    if (message != MOM_DONE)
        return;
    KillTimer(m_hWnd, OverdueTimerId);
    MidiPortState& state = PortState();
    if (Midi().midiOutUnprepareHeader(handle, &state.outputHeader, HeaderSize) != MMSYSERR_NOERROR)
    {
        AfxMessageBox(IDS_OUTPUT_UNPREPARE_FAILED, MB_ERROR_BOX);
        return;
    }
    if (m_longHandedOver < m_longMessage.size())
    {
        // The next piece of a long message, straight after the one before.
        const unsigned length =
            static_cast<unsigned>(std::min<std::size_t>(m_longMessage.size() - m_longHandedOver, MidiBufferSize));
        std::copy_n(m_longMessage.begin() + static_cast<std::ptrdiff_t>(m_longHandedOver), length, state.outputBuffer);
        m_longHandedOver += length;
        PrepareHeaderFields(state.outputHeader, state.outputBuffer, length);
        if (Midi().midiOutPrepareHeader(handle, &state.outputHeader, HeaderSize) != MMSYSERR_NOERROR)
        {
            CloseTransaction();
            AfxMessageBox(IDS_OUTPUT_PREPARE_FAILED, MB_ERROR_BOX);
            return;
        }
        SendOutputBuffer();
        return;
    }
    m_longMessage.clear();
    CloseOutputPort(handle);
    if (m_afterSend)
        std::exchange(m_afterSend, nullptr)();
}

BOOL CMidiDialog::RequeueInputBuffer(HMIDIIN handle, MIDIHDR* header)
{
    MidiDriver& driver = Midi();
    LPSTR data = header->lpData;
    if (driver.midiInUnprepareHeader(handle, header, HeaderSize) != MMSYSERR_NOERROR)
    {
        AfxMessageBox(IDS_INPUT_UNPREPARE_FAILED, MB_ERROR_BOX);
        return FALSE;
    }
    *header = MIDIHDR{};
    header->lpData = data;
    header->dwBufferLength = MidiBufferSize;
    if (driver.midiInPrepareHeader(handle, header, HeaderSize) != MMSYSERR_NOERROR)
    {
        AfxMessageBox(IDS_INPUT_UNPREPARE_FAILED, MB_ERROR_BOX);
        return FALSE;
    }
    if (driver.midiInAddBuffer(handle, header, HeaderSize) != MMSYSERR_NOERROR)
    {
        AfxMessageBox(IDS_INPUT_ADD_FAILED, MB_ERROR_BOX);
        return FALSE;
    }
    return TRUE;
}

DWORD CMidiDialog::RecordedBytes(const MIDIHDR& header)
{
    return std::min<DWORD>(header.dwBytesRecorded, std::min<DWORD>(header.dwBufferLength, MidiBufferSize));
}

std::vector<MIDIHDR*> CMidiDialog::TakeBackInputBlocks()
{
    MidiPortState& state = PortState();
    std::vector<MIDIHDR*> blocks;
    if (state.inputHandle == nullptr)
        return blocks;
    // The driver hands every queued buffer back before the reset returns.
    Midi().midiInReset(state.inputHandle);
    std::lock_guard<std::mutex> lock(MidiRoutingLock());
    for (auto event = m_events.begin(); event != m_events.end();)
    {
        if (!event->input || event->opening != state.inputOpening)
        {
            ++event;
            continue;
        }
        // A reset may hand a buffer cut short back as an error: its bytes arrived all the same.
        if (event->message == MIM_LONGDATA || event->message == MIM_LONGERROR)
            blocks.push_back(reinterpret_cast<MIDIHDR*>(event->param1));
        event = m_events.erase(event);
    }
    return blocks;
}

BOOL CMidiDialog::RestartInput()
{
    MidiPortState& state = PortState();
    if (state.inputHandle == nullptr)
        return FALSE;
    for (MIDIHDR& header : state.inputHeaders)
    {
        if (!RequeueInputBuffer(state.inputHandle, &header))
            return FALSE;
    }
    if (Midi().midiInStart(state.inputHandle) == MMSYSERR_NOERROR)
        return TRUE;
    AfxMessageBox(IDS_INPUT_START_FAILED, MB_ERROR_BOX);
    return FALSE;
}

void CMidiDialog::ShowErrorReply()
{
    std::string text = LoadResString(ErrorReplyStringId(m_dumpBuffer.m_bytes, m_dumpBuffer.m_length));
    if (text.empty())
        text = LoadResString(IDS_DEVICE_ERROR_UNKNOWN);
    AfxMessageBox(text, MB_ERROR_BOX);
}

MIDIHDR* CMidiDialog::ReceivedBlock(HMIDIIN handle, UINT message, DWORD_PTR param1, DWORD& recorded)
{
    MIDIHDR* header = reinterpret_cast<MIDIHDR*>(param1);
    if (message != MIM_LONGDATA && message != MIM_LONGERROR)
        return nullptr;
    recorded = RecordedBytes(*header);
    if (message == MIM_LONGERROR || recorded == 0)
    {
        RequeueInputBuffer(handle, header);
        return nullptr;
    }
    return header;
}

void CMidiDialog::OnMidiIn(HMIDIIN handle, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR)
{
    DWORD recorded = 0;
    MIDIHDR* header = ReceivedBlock(handle, message, param1, recorded);
    if (header == nullptr)
        return;

    // The reply has started: from now on it has no time limit.
    KillTimer(m_hWnd, ReplyTimerId);
    if (!m_dumpBuffer.Append(header->lpData, recorded))
    {
        AfxMessageBox(IDS_OUT_OF_MEMORY, MB_ERROR_BOX);
        return;
    }

    if (static_cast<unsigned char>(header->lpData[recorded - 1]) != SysEx::End)
    {
        RequeueInputBuffer(handle, header);
        return;
    }

    if (Midi().midiInUnprepareHeader(handle, header, HeaderSize) != MMSYSERR_NOERROR)
    {
        AfxMessageBox(IDS_INPUT_UNPREPARE_FAILED, MB_ERROR_BOX);
        return;
    }
    CloseInputPort();
    EnableControls(TRUE);
    if (IsErrorReply(m_dumpBuffer.m_bytes, m_dumpBuffer.m_length, false))
    {
        ShowErrorReply();
        return;
    }
    if (m_completionAction != nullptr)
        (this->*m_completionAction)();
}

void CMidiDialog::EnableControls(BOOL enable)
{
    HWND first = GetWindow(GetWindow(m_hWnd, GW_CHILD), GW_HWNDFIRST);
    HWND last = GetWindow(first, GW_HWNDLAST);
    for (HWND child = first; child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
    {
        EnableWindow(child, enable);
        if (child == last)
            break;
    }
}

void CMidiDialog::OnTimer(UINT_PTR id)
{
    if (id == LineWaitTimerId)
        return OnLineFree();
    if (id == OverdueTimerId)
        return OnOverdue();
    if (id != ReplyTimerId)
    {
        CDialog::OnTimer(id);
        return;
    }
    KillTimer(m_hWnd, ReplyTimerId);
    // The reply has started; its first block is handled as soon as the window gets to it.
    if (ReplyBlockWaiting())
        return;
    TheMidiLog().Note(PortState().inputHandle, MidiLogEvent::TimedOut, true);
    CloseTransaction();
    EnableControls(TRUE);
    AfxMessageBox(IDS_NO_REPLY, MB_ERROR_BOX);
    m_timedOut = TRUE;
}

BOOL CMidiDialog::ReplyBlockWaiting()
{
    const unsigned opening = PortState().inputOpening;
    std::lock_guard<std::mutex> lock(MidiRoutingLock());
    return std::any_of(m_events.begin(), m_events.end(), [opening](const MidiEvent& event) {
        return event.input && event.opening == opening && event.message == MIM_LONGDATA &&
               reinterpret_cast<const MIDIHDR*>(event.param1)->dwBytesRecorded > 0;
    });
}

void CMidiDialog::CloseTransaction()
{
    if (m_hWnd != nullptr)
    {
        KillTimer(m_hWnd, ReplyTimerId);
        KillTimer(m_hWnd, LineWaitTimerId);
        KillTimer(m_hWnd, OverdueTimerId);
    }
    m_lineWaitAction = nullptr;
    ReleaseOutputPort();
    m_longMessage.clear();
    CloseInputPort();
}

void CMidiDialog::OnDestroy()
{
    // The driver must not keep buffers or call back into a window that is going away.
    CloseTransaction();
    std::lock_guard<std::mutex> lock(MidiRoutingLock());
    m_eventWindow = nullptr;
    m_events.clear();
}

HWND CMidiDialog::QueueMidiEventLocked(const MidiEvent& event)
{
    const bool wasEmpty = m_events.empty();
    m_events.push_back(event);
    // One posted message per batch: the handler takes every event queued until then. Before
    // the window exists, OnInitDialog posts it.
    return wasEmpty ? m_eventWindow : nullptr;
}

void CMidiDialog::DeliverPendingMidiEvents()
{
    // A message box shown by a handler pumps messages; events wait until it closes, so
    // that they are always handled one after the other, in arrival order.
    if (m_delivering)
        return;
    m_delivering = true;
    MidiPortState& state = PortState();
    for (;;)
    {
        MidiEvent event;
        {
            std::lock_guard<std::mutex> lock(MidiRoutingLock());
            if (m_events.empty())
                break;
            event = m_events.front();
            m_events.pop_front();
        }
        // What a closing port hands back arrives under the current opening; it is released
        // by CloseInputPort alone, even when a box there lets events through meanwhile.
        if (event.input && event.opening == state.inputOpening && !m_inputReset)
            OnMidiIn(static_cast<HMIDIIN>(event.handle), event.message, event.instance, event.param1, event.param2);
        else if (!event.input && event.opening == state.outputOpening)
            OnMidiOut(static_cast<HMIDIOUT>(event.handle), event.message, event.instance, event.param1,
                      event.param2);
    }
    m_delivering = false;
}

INT_PTR CMidiDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    if (message != WM_MIDI_EVENT)
        return CDialog::OnMessage(message, wParam, lParam, handled);
    handled = true;
    DeliverPendingMidiEvents();
    return 0;
}
