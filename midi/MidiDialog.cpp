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
#include "midi/MidiReceiver.h"
#include "protocol/SysExMessages.h"
#include "resources/resource.h"

namespace
{
UINT g_replyTimeoutMs = DefaultReplyTimeoutMs;
}

UINT ReplyTimeoutMs()
{
    return g_replyTimeoutMs;
}

void SetReplyTimeoutMs(UINT milliseconds)
{
    g_replyTimeoutMs = milliseconds;
}

CMidiDialog::CMidiDialog(UINT templateId, CDialog* parent) : CDialog(templateId, parent)
{
}

CMidiDialog::~CMidiDialog()
{
    // After this no callback can find the window, and one that already had it has finished
    // queuing into it.
    LeaveCurrentMidiWindow(this);
    CMidiSender::Instance().Forget(this);
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
    m_closeWhenSent = false;
    m_overwriteWaits = false;
    if (!m_dumpBuffer.Init(MidiBufferSize, MidiBufferSize))
    {
        AfxMessageBox(IDS_OUT_OF_MEMORY, MB_ERROR_BOX);
        EndDialog(-1);
        m_initFailed = TRUE;
    }
    m_timedOut = FALSE;
    return TRUE;
}

void CMidiDialog::CloseInputPort()
{
    CMidiReceiver::Instance().Close();
}

MIDIHDR* CMidiDialog::ReceivedBlock(HMIDIIN handle, UINT message, DWORD_PTR param1, DWORD& recorded)
{
    return CMidiReceiver::Instance().Block(handle, message, param1, recorded);
}

BOOL CMidiDialog::RequeueInputBuffer(HMIDIIN handle, MIDIHDR* header)
{
    return CMidiReceiver::Instance().Requeue(handle, header);
}

BOOL CMidiDialog::OutputIsFree()
{
    if (!CMidiSender::Instance().Busy())
        return TRUE;
    AfxMessageBox(IDS_STILL_SENDING, MB_ERROR_BOX);
    return FALSE;
}

int CMidiDialog::OpenOutputPort(unsigned length, unsigned char* data)
{
    if (!OutputIsFree())
        return 0;
    m_afterSend = nullptr;
    CloseInputPort();
    if (const UINT refusal = CMidiSender::Instance().OpenOutput())
        return ShowRefusal(refusal), 0;
    m_message.clear();
    m_messageData = data;
    m_messageLength = length;
    return 1;
}

int CMidiDialog::OpenPorts(unsigned length)
{
    // Both chosen ports must be there before either opens.
    if (!OutputIsFree() || ChosenPortNow(PortDirection::Output) < 0 || ChosenPortNow(PortDirection::Input) < 0 ||
        !OpenOutputPort(length))
        return 0;
    if (!m_dumpBuffer.Reset())
    {
        CMidiSender::Instance().CloseWhenIdle();
        AfxMessageBox(IDS_OUT_OF_MEMORY, MB_ERROR_BOX);
        EndDialog(-1);
        return 0;
    }
    if (const UINT refusal = CMidiReceiver::Instance().Open())
    {
        CMidiSender::Instance().CloseWhenIdle();
        return ShowRefusal(refusal), 0;
    }
    return 1;
}

int CMidiDialog::OpenOutputPortFor(const std::vector<unsigned char>& message)
{
    const unsigned length = static_cast<unsigned>(message.size());
    if (length > MidiBufferSize && UnderWine() &&
        AfxMessageBox(IDS_CONFIRM_LONG_MESSAGE, {LoadResString(IDS_LONG_MESSAGE, {std::to_string(length)})},
                      MB_QUESTION_BOX) != IDYES)
        return 0;
    if (!OpenOutputPort(length))
        return 0;
    m_message = message;
    return 1;
}

BOOL CMidiDialog::SendOutputBuffer()
{
    if (m_message.empty())
    {
        const unsigned char* data = m_messageData != nullptr ? m_messageData : PortState().outputBuffer;
        m_message.assign(data, data + m_messageLength);
    }
    m_sentActions.push_back(std::exchange(m_afterSend, nullptr));
    return CMidiSender::Instance().Send({std::exchange(m_message, {})}, this);
}

INT_PTR CMidiDialog::RunMidiDialog(CMidiDialog& dialog)
{
    SetCurrentMidiWindow(&dialog);
    const INT_PTR result = dialog.DoModal();
    SetCurrentMidiWindow(this);
    return result;
}

BOOL CMidiDialog::SendRequest(unsigned length, const std::function<void(unsigned char*, int)>& build)
{
    m_message.assign(length, 0);
    build(m_message.data(), DeviceNumber());
    return SendOutputBuffer();
}

BOOL CMidiDialog::SendToDevice(const std::vector<unsigned char>& message)
{
    return OpenOutputPortFor(message) && SendOutputBuffer();
}

void CMidiDialog::OnSendEnded(const SendResult& result)
{
    std::function<void()> afterSend;
    if (!m_sentActions.empty())
    {
        afterSend = std::move(m_sentActions.front());
        m_sentActions.pop_front();
    }
    if (result.outcome == SendOutcome::Failed)
        ShowRefusal(result.errorId, result.driverResult);
    else if (result.outcome == SendOutcome::Stopped)
        AfxMessageBox(IDS_SEND_OVERDUE, MB_ERROR_BOX);
    if (result.whole < result.messages)
    {
        // Nothing waits for a reply to a request that did not go out.
        CloseTransaction();
        EnableControls(TRUE);
    }
    else if (result.outcome == SendOutcome::Sent && afterSend)
    {
        afterSend();
    }
    if (m_overwriteWaits && !m_closeWhenSent)
        SendPendingOverwrite(false);
    if (m_closeWhenSent && !CMidiSender::Instance().Carries(this))
        EndDialog(IDCANCEL);
}

void CMidiDialog::OnCancel()
{
    if (CMidiSender::Instance().Carries(this))
    {
        m_closeWhenSent = true;
        return;
    }
    CDialog::OnCancel();
}

void CMidiDialog::ShowRefusal(UINT refusal, MMRESULT driverResult)
{
    if (refusal != RefusalShown)
        AfxMessageBox(refusal, {std::to_string(driverResult)}, MB_ERROR_BOX);
}

BOOL CMidiDialog::StartReplyTimer()
{
    // A request still waiting for the line has not gone out yet.
    const UINT wait = MillisecondsUntil(CMidiSender::Instance().ExpectedEnd());
    return SetTimer(m_hWnd, ReplyTimerId, g_replyTimeoutMs + wait, nullptr) != 0;
}

std::string CMidiDialog::ErrorReplyText() const
{
    const std::string text = LoadResString(ErrorReplyStringId(m_dumpBuffer.m_bytes, m_dumpBuffer.m_length));
    return text.empty() ? LoadResString(IDS_DEVICE_ERROR_UNKNOWN) : text;
}

void CMidiDialog::ShowErrorReply()
{
    AfxMessageBox(ErrorReplyText(), MB_ERROR_BOX);
}

void CMidiDialog::OnMidiOut(HMIDIOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR)
{
    // Every completion goes to the sender, which reports to OnSendEnded.
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

    if (!CMidiReceiver::Instance().Release(handle, header))
        return;
    CloseInputPort();
    EnableControls(TRUE);
    if (IsErrorReply(m_dumpBuffer.m_bytes, m_dumpBuffer.m_length, false))
    {
        if (!BackupFailed(ErrorReplyText()))
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

void CMidiDialog::EnableAllButCancel(BOOL enable, const std::function<void()>& bySelection)
{
    CMidiDialog::EnableControls(enable);
    if (enable)
        bySelection();
    else
        EnableWindow(GetDlgItem(IDCANCEL), TRUE);
}

void CMidiDialog::OnTimer(UINT_PTR id)
{
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
    if (!BackupFailed(LoadResString(IDS_NO_REPLY)))
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
        KillTimer(m_hWnd, ReplyTimerId);
    CloseInputPort();
}

void CMidiDialog::OnDestroy()
{
    // The driver must not keep buffers or call back into a window that is going away; a
    // message on its way goes on without it.
    CMidiSender::Instance().Forget(this);
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
        // by the receiver alone, even when a box there lets events through meanwhile.
        if (event.input && event.opening == state.inputOpening && !CMidiReceiver::Instance().Closing())
            OnMidiIn(static_cast<HMIDIIN>(event.handle), event.message, event.instance, event.param1, event.param2);
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
