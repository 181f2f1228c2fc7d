#include "dialogs/BulkSendDialog.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "dialogs/BulkFile.h"
#include "dialogs/Durations.h"
#include "framework/Controls.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "midi/MidiDriver.h"
#include "midi/MidiLog.h"
#include "midi/MidiPortState.h"
#include "protocol/BulkFileSummary.h"
#include "protocol/MessageEnd.h"
#include "protocol/TransferEstimate.h"
#include "protocol/WireClock.h"
#include "resources/resource.h"

namespace
{
constexpr UINT_PTR ProgressTimerId = 2;
constexpr UINT_PTR CancelTimerId = 4;
constexpr UINT ProgressRefreshMs = 250;
// Cancel lets the piece in flight finish, but waits no longer than this after its last byte
// should have left the line, and never more than a second in all.
constexpr UINT CancelGraceMs = 500;
constexpr UINT CancelWaitMs = 900;

// "n things" in the singular or the plural.
std::string Counted(std::size_t count, UINT one, UINT many)
{
    return count == 1 ? LoadResString(one) : LoadResString(many, {std::to_string(count)});
}
}

CBulkSendDialog::CBulkSendDialog(CDialog* parent) : CMidiDialog(IDD_BULK_SEND, parent)
{
}

BOOL CBulkSendDialog::OnInitDialog()
{
    CMidiDialog::OnInitDialog();
    if (m_initFailed)
        return TRUE;
    m_sending = FALSE;
    m_abortRequested = FALSE;

    if (!LoadFile())
    {
        EndDialog(IDCANCEL);
        return TRUE;
    }
    m_sentControl = GetDlgItem(IDC_SENT_COUNT);
    // Nothing is left to send once a message is left out: the warning says why.
    if (m_fileSize == 0)
    {
        EnableWindow(GetDlgItem(IDOK), FALSE);
        SetDlgItemInt(IDC_FILE_SIZE, 0);
        return MakeCancelTheDefault();
    }
    m_data = m_dumpBuffer.m_bytes;
    m_position = 0;
    FindMessage();
    m_chunkLength = PieceLength();
    // A piece longer than the output buffer goes out from the file's bytes where they are.
    if (!OpenOutputPort(m_chunkLength, m_chunkLength > MidiBufferSize ? m_data : nullptr))
    {
        EndDialog(IDCANCEL);
        return TRUE;
    }
    // The first piece waits in the prepared output buffer until the user presses Send.
    TakeChunk();
    m_piecePrepared = true;
    SetDlgItemInt(IDC_FILE_SIZE, m_fileSize);
    m_taskbar.Attach(m_hWnd);
    // With a warning shown, a hasty Enter must not start the transfer.
    return GetDlgItemText(IDC_SEND_WARNING).empty() ? TRUE : MakeCancelTheDefault();
}

BOOL CBulkSendDialog::MakeCancelTheDefault()
{
    SendMessageW(m_hWnd, DM_SETDEFID, IDCANCEL, 0);
    GotoDlgCtrl(GetDlgItem(IDCANCEL));
    return FALSE;  // the focus is set
}

// The content goes into the dump buffer whole, so that the transfer never waits for the disk.
// FALSE after reporting why there is nothing to send.
BOOL CBulkSendDialog::LoadFile()
{
    BulkFileContent content;
    content.bytes = std::move(m_bytes);
    const bool selection = !content.bytes.empty();
    if (!selection && !ReadBulkFile(m_fileName, content, SendRefusals))
        return FALSE;
    // Wine would end a message without F7 with one; on Windows it goes as it is.
    const std::size_t leftOut = UnderWine() ? LeaveOutUnendedMessage(content.bytes) : 0;
    m_dumpBuffer.Free();
    if (!content.bytes.empty() && !m_dumpBuffer.Init(static_cast<unsigned>(content.bytes.size()), MidiBufferSize))
    {
        AfxMessageBox(IDS_OUT_OF_MEMORY, MB_ERROR_BOX);
        return FALSE;
    }
    std::copy(content.bytes.begin(), content.bytes.end(), m_dumpBuffer.m_bytes);
    m_fileSize = static_cast<unsigned>(content.bytes.size());
    ShowSummary(content.midiFile, content.midiMessages, selection, leftOut);
    return TRUE;
}

void CBulkSendDialog::ShowSummary(bool midiFile, std::size_t midiMessages, bool selection, std::size_t leftOut)
{
    m_messageCount = 0;
    std::size_t longest = 0;
    for (std::size_t at = 0; at < m_fileSize; ++m_messageCount)
    {
        const std::size_t end = FindMessageEnd(m_dumpBuffer.m_bytes, m_fileSize, at);
        longest = std::max(longest, end + 1 - at);
        at = end + 1;
    }
    std::string warning;
    const auto add = [&warning](const std::string& sentence) { warning += (warning.empty() ? "" : " ") + sentence; };
    if (midiFile)
    {
        SetDlgItemText(IDC_SEND_SUMMARY, Counted(midiMessages, IDS_BULK_SUMMARY_MIDI_ONE, IDS_BULK_SUMMARY_MIDI));
    }
    else
    {
        const BulkFileSummary summary = SummarizeBulkFile(m_dumpBuffer.m_bytes, m_fileSize);
        SetDlgItemText(IDC_SEND_SUMMARY,
                       selection ? Counted(summary.completeMessages, IDS_BULK_SUMMARY_SELECTION_ONE, IDS_BULK_SUMMARY_SELECTION)
                                 : Counted(summary.completeMessages, IDS_BULK_SUMMARY_ONE, IDS_BULK_SUMMARY));
        if (summary.bytesOutsideMessages > 0)
            add(Counted(summary.bytesOutsideMessages, IDS_BULK_OUTSIDE_BYTE, IDS_BULK_OUTSIDE_BYTES));
        if (summary.unterminatedMessages > 0)
            add(Counted(summary.unterminatedMessages, IDS_BULK_UNENDED_ONE, IDS_BULK_UNENDED));
    }
    if (leftOut > 0)
        add(LoadResString(IDS_BULK_LEFT_OUT, {std::to_string(leftOut)}));
    // Such a message goes out whole under Wine, and Linux drops it unless its buffer is raised.
    if (UnderWine() && longest > LineBufferSize)
        add(LoadResString(IDS_LONG_MESSAGE, {std::to_string(longest)}));
    if (!warning.empty())
        SetDlgItemText(IDC_SEND_WARNING, LoadResString(IDS_BULK_WARNING_PREFIX, {warning}));
}

void CBulkSendDialog::FindMessage()
{
    m_messageEnd = static_cast<unsigned>(FindMessageEnd(m_data, m_fileSize, m_position));
    m_messageRemaining = m_messageEnd - m_position + 1;
}

unsigned CBulkSendDialog::PieceLength() const
{
    // Under Wine every piece is wrapped in F0...F7 on its way: a message goes whole or broken.
    return UnderWine() ? m_messageRemaining : std::min(m_messageRemaining, MidiBufferSize);
}

unsigned char* CBulkSendDialog::TakeChunk()
{
    unsigned char* piece = m_data + m_position;
    if (m_chunkLength <= MidiBufferSize)
    {
        std::memcpy(PortState().outputBuffer, piece, m_chunkLength);
        piece = PortState().outputBuffer;
    }
    m_position += m_chunkLength;
    m_messageRemaining -= m_chunkLength;
    return piece;
}

void CBulkSendDialog::OnOK()
{
    // A second OK (Enter, or a command already queued) must not hand the piece over again.
    if (m_sending || m_fileSize == 0)
        return;
    // Cancel keeps the keyboard once Send is disabled, so that Escape still stops the transfer.
    GotoDlgCtrl(GetDlgItem(IDCANCEL));
    EnableWindow(GetDlgItem(IDOK), FALSE);
    m_startedAt = GetTickCount64();
    m_lineBefore = PortState().wireClock.BytesHandedOver();
    m_sending = TRUE;
    SetTimer(m_hWnd, ProgressTimerId, ProgressRefreshMs, nullptr);
    ShowProgress(0);
    ScheduleNextPiece();
}

void CBulkSendDialog::OnCancel()
{
    // While waiting for the clock or a pause, no piece is in flight: the transfer ends at once.
    if (m_next.IsRunning() || (m_sending && !m_inFlight))
    {
        m_next.Cancel();
        StopTransfer(m_completed, 0, TRUE, IDCANCEL);
        return;
    }
    // A piece in the driver's hands is let finish, so that the device gets no broken message;
    // one the driver does not finish is taken back.
    if (m_sending)
    {
        if (!m_abortRequested)
            SetTimer(m_hWnd, CancelTimerId,
                     std::min(MillisecondsUntil(m_pieceLeavesAt) + CancelGraceMs, CancelWaitMs), nullptr);
        m_abortRequested = TRUE;
        return;
    }
    CloseTransaction();
    EndDialog(IDCANCEL);
}

// Each completion lets the next piece go, so only one piece is ever in flight; when it goes
// is the clock's to say. The count follows the line, so that the line never waits for its
// repainting.
void CBulkSendDialog::OnMidiOut(HMIDIOUT handle, UINT message, DWORD_PTR, DWORD_PTR, DWORD_PTR)
{
    if (message != MOM_DONE || !m_inFlight)
        return;
    m_inFlight = false;
    m_piecePrepared = false;
    m_completed = m_position;

    if (Midi().midiOutUnprepareHeader(handle, &PortState().outputHeader, sizeof(MIDIHDR)) != MMSYSERR_NOERROR)
    {
        // The port stays open: the next opening, or the window's end, closes it.
        StopTransfer(m_completed, IDS_OUTPUT_UNPREPARE_FAILED, FALSE, IDCANCEL);
        return;
    }
    if (m_abortRequested)
    {
        StopTransfer(m_completed, 0, TRUE, IDCANCEL);
        return;
    }
    if (m_messageRemaining == 0)
    {
        if (m_position == m_fileSize)
        {
            Finish();
            return;
        }
        // The pause counts from the silence on the line, or from the completion if later.
        const WireClock& clock = PortState().wireClock;
        m_pauseFrom = PortState().pauseMs > 0 ? std::max(LineNow(), clock.FreeAt()) : 0;
        FindMessage();
    }
    m_chunkLength = PieceLength();
    ScheduleNextPiece();
    SetWindowTextUnsigned(m_sentControl, BytesOnLine());
}

void CBulkSendDialog::ScheduleNextPiece()
{
    std::int64_t due = PortState().wireClock.EarliestHandOver(m_chunkLength, LineBufferSize, LineBufferMargin,
                                                               UnderWine());
    if (m_pauseFrom != 0)
        due = std::max<std::int64_t>(due, m_pauseFrom + std::int64_t{PortState().pauseMs} * 1000);
    const UINT wait = MillisecondsUntil(due);
    if (wait == 0 || !m_next.Start(m_hWnd, wait))
        HandOverPiece();
}

void CBulkSendDialog::HandOverPiece()
{
    MidiPortState& state = PortState();
    if (m_pauseFrom != 0)
        ++m_pausesDone;
    m_pauseFrom = 0;
    if (!m_piecePrepared)
    {
        state.outputHeader = MIDIHDR{};
        state.outputHeader.lpData = reinterpret_cast<LPSTR>(TakeChunk());
        state.outputHeader.dwBufferLength = m_chunkLength;
        if (Midi().midiOutPrepareHeader(state.outputHandle, &state.outputHeader, sizeof(MIDIHDR)) != MMSYSERR_NOERROR)
        {
            StopTransfer(m_completed, IDS_OUTPUT_PREPARE_FAILED, TRUE, IDCANCEL);
            return;
        }
        m_piecePrepared = true;
    }
    if (!HandOverOutputBuffer())
    {
        StopTransfer(m_completed, 0, FALSE, IDCANCEL);
        return;
    }
    m_inFlight = true;
    m_pieceLeavesAt = state.wireClock.FreeAt();
}

void CBulkSendDialog::Finish()
{
    m_finishing = true;
    const UINT wait = MillisecondsUntil(PortState().wireClock.FreeAt());
    if (wait == 0 || !m_next.Start(m_hWnd, wait))
        StopTransfer(m_fileSize, 0, TRUE, IDOK);
}

void CBulkSendDialog::GiveUp()
{
    KillTimer(m_hWnd, CancelTimerId);
    m_inFlight = false;
    TheMidiLog().Note(PortState().outputHandle, MidiLogEvent::Overdue);
    CloseTransaction();
    AfxMessageBox(IDS_BULK_SEND_STOPPED, {std::to_string(m_completed), std::to_string(m_fileSize)}, MB_ERROR_BOX);
    StopTransfer(m_completed, 0, FALSE, IDCANCEL);
}

INT_PTR CBulkSendDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    if (message != WM_ONE_SHOT_TIMER)
        return CMidiDialog::OnMessage(message, wParam, lParam, handled);
    handled = true;
    if (!m_next.Elapsed(wParam))
        return 0;  // cancelled in the meantime
    if (m_finishing)
        StopTransfer(m_fileSize, 0, TRUE, IDOK);
    else
        HandOverPiece();
    return 0;
}

void CBulkSendDialog::OnTimer(UINT_PTR id)
{
    if (id == CancelTimerId)
    {
        KillTimer(m_hWnd, CancelTimerId);
        if (m_inFlight)
            GiveUp();
        return;
    }
    if (id != ProgressTimerId)
        return CMidiDialog::OnTimer(id);
    // A driver that never completes a piece (an unplugged interface) must not hold the window.
    if (m_inFlight && LineNow() > m_pieceLeavesAt + std::int64_t{OverdueGraceMs()} * 1000)
        return GiveUp();
    ShowProgress(BytesOnLine());
}

unsigned CBulkSendDialog::BytesOnLine() const
{
    const std::uint64_t left = PortState().wireClock.BytesLeft(LineNow());
    const std::uint64_t ours = left > m_lineBefore ? left - m_lineBefore : 0;
    return static_cast<unsigned>(std::min<std::uint64_t>(ours, m_completed));
}

void CBulkSendDialog::ShowProgress(unsigned sent)
{
    const std::uint64_t pauses = m_messageCount > 0 ? m_messageCount - 1 : 0;
    const TransferPauses pausing{static_cast<std::uint64_t>(PortState().pauseMs), m_pausesDone,
                                 pauses > m_pausesDone ? pauses - m_pausesDone : 0};
    const TransferEstimate estimate = EstimateTransfer(sent, m_fileSize, GetTickCount64() - m_startedAt, pausing);
    SetWindowTextUnsigned(m_sentControl, sent);
    SendDlgItemMessageW(m_hWnd, IDC_SEND_PROGRESS, PBM_SETPOS, estimate.percent, 0);
    const std::string percent = std::to_string(estimate.percent);
    SetDlgItemText(IDC_SEND_TIME_LEFT,
                   estimate.secondsLeft <= 0
                       ? LoadResString(IDS_SEND_PROGRESS_NO_ESTIMATE, {percent})
                       : LoadResString(IDS_SEND_PROGRESS, {percent, FormatDuration(estimate.secondsLeft)}));
    m_taskbar.Show(sent, m_fileSize);
}

void CBulkSendDialog::StopTransfer(unsigned sent, UINT errorId, BOOL closePort, int result)
{
    KillTimer(m_hWnd, ProgressTimerId);
    KillTimer(m_hWnd, CancelTimerId);
    m_next.Cancel();
    SetWindowTextUnsigned(m_sentControl, sent);
    if (m_sending)
        ShowProgress(sent);
    m_taskbar.Clear();
    if (errorId != 0)
        AfxMessageBox(errorId, MB_ERROR_BOX);
    if (closePort)
        CloseTransaction();
    EndDialog(result);
}
