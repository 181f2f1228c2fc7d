#include "dialogs/BulkSendDialog.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "dialogs/BulkFile.h"
#include "dialogs/BulkReceiveDialog.h"
#include "dialogs/Durations.h"
#include "framework/Controls.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "history/DumpHistory.h"
#include "midi/MidiApp.h"
#include "midi/MidiPortState.h"
#include "protocol/BulkFileSummary.h"
#include "protocol/MessageEnd.h"
#include "protocol/TransferEstimate.h"
#include "resources/resource.h"

namespace
{
constexpr UINT_PTR ProgressTimerId = 2;
constexpr UINT ProgressRefreshMs = 250;

// "n things" in the singular or the plural.
std::string Counted(std::size_t count, UINT one, UINT many)
{
    return count == 1 ? LoadResString(one) : LoadResString(many, {std::to_string(count)});
}
}

bool& BackUpBeforeBulkSend()
{
    static bool backUp = false;
    return backUp;
}

CBulkSendDialog::CBulkSendDialog(CDialog* parent) : CMidiDialog(IDD_BULK_SEND, parent)
{
}

BOOL CBulkSendDialog::OnInitDialog()
{
    CMidiDialog::OnInitDialog();
    // First, so that a dialog that ends at once keeps the choice as it was (OnDestroy).
    CheckDlgButton(m_hWnd, IDC_BACK_UP_FIRST, BackUpBeforeBulkSend() ? BST_CHECKED : BST_UNCHECKED);
    if (m_initFailed)
        return TRUE;
    m_sending = FALSE;
    if (!LoadFile())
    {
        EndDialog(IDCANCEL);
        return TRUE;
    }
    m_sentControl = GetDlgItem(IDC_SENT_COUNT);
    SetDlgItemInt(IDC_FILE_SIZE, m_fileSize);
    // Nothing is left to send once a message is left out: the warning says why.
    if (m_fileSize == 0)
    {
        EnableWindow(GetDlgItem(IDOK), FALSE);
        return MakeCancelTheDefault();
    }
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

BOOL CBulkSendDialog::LoadFile()
{
    BulkFileContent content;
    content.bytes = std::move(m_bytes);
    const bool selection = !content.bytes.empty();
    if (!selection && !ReadBulkFile(m_fileName, content, SendRefusals))
        return FALSE;
    // Wine would end a message without F7 with one; on Windows it goes as it is.
    const std::size_t leftOut = UnderWine() ? LeaveOutUnendedMessage(content.bytes) : 0;
    const std::vector<unsigned char>& bytes = content.bytes;
    m_fileSize = static_cast<unsigned>(bytes.size());
    for (std::size_t at = 0; at < bytes.size();)
    {
        const std::size_t end = FindMessageEnd(bytes.data(), bytes.size(), at) + 1;
        m_messages.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                bytes.begin() + static_cast<std::ptrdiff_t>(end));
        // Such a message goes out whole under Wine, and Linux drops it unless its buffer is raised.
        if (CMidiSender::MayBeDropped(end - at))
            m_longPositions.push_back(m_messages.size());
        at = end;
    }
    ShowSummary(content, selection, leftOut);
    return TRUE;
}

void CBulkSendDialog::ShowSummary(const BulkFileContent& content, bool selection, std::size_t leftOut)
{
    std::string warning;
    const auto add = [&warning](const std::string& sentence) { warning += (warning.empty() ? "" : " ") + sentence; };
    if (content.midiFile)
    {
        SetDlgItemText(IDC_SEND_SUMMARY,
                       Counted(content.midiMessages, IDS_BULK_SUMMARY_MIDI_ONE, IDS_BULK_SUMMARY_MIDI));
    }
    else
    {
        const BulkFileSummary summary = SummarizeBulkFile(content.bytes.data(), content.bytes.size());
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
    std::size_t longest = 0;
    for (const auto& message : m_messages)
        longest = std::max(longest, message.size());
    if (!m_longPositions.empty())
        add(LoadResString(IDS_LONG_MESSAGE, {std::to_string(longest)}));
    if (!warning.empty())
        SetDlgItemText(IDC_SEND_WARNING, LoadResString(IDS_BULK_WARNING_PREFIX, {warning}));
}

void CBulkSendDialog::OnOK()
{
    // A second OK (Enter, or a command already queued) must not start the send again.
    if (m_sending || m_fileSize == 0)
        return;
    if (IsDlgButtonChecked(m_hWnd, IDC_BACK_UP_FIRST) == BST_CHECKED && !BackUpDevice())
        return;
    // Cancel keeps the keyboard once Send is disabled, so that Escape still stops the transfer.
    GotoDlgCtrl(GetDlgItem(IDCANCEL));
    EnableWindow(GetDlgItem(IDOK), FALSE);
    EnableWindow(GetDlgItem(IDC_BACK_UP_FIRST), FALSE);
    m_startedAt = GetTickCount64();
    m_sending = TRUE;
    SetTimer(m_hWnd, ProgressTimerId, ProgressRefreshMs, nullptr);
    ShowProgress(SendProgress{m_fileSize, 0, 0, 0});
    CMidiSender::Instance().Send(m_messages, this);
}

BOOL CBulkSendDialog::BackUpDevice()
{
    CBulkReceiveDialog backup(this);
    backup.m_backup = TRUE;
    SetCurrentMidiWindow(&backup);
    const INT_PTR result = backup.DoModal();
    SetCurrentMidiWindow(this);
    const DumpBuffer& memory = backup.m_dumpBuffer;
    // Nothing else keeps the device's memory: a backup the history could not keep is no backup.
    if (result == IDOK && memory.m_length > 0 &&
        History().Add(HistoryKind::Bulk, 0, BeforeBulkRestore, memory.m_bytes, memory.m_length))
        return TRUE;
    return !backup.m_cancelled && AfxMessageBox(IDS_CONFIRM_SEND_WITHOUT_BACKUP, MB_QUESTION_BOX) == IDYES;
}

void CBulkSendDialog::OnDestroy()
{
    BackUpBeforeBulkSend() = IsDlgButtonChecked(m_hWnd, IDC_BACK_UP_FIRST) == BST_CHECKED;
    CMidiDialog::OnDestroy();
}

void CBulkSendDialog::OnCancel()
{
    // The message on its way goes out whole; then OnSendEnded closes the dialog.
    if (m_sending)
        return CMidiSender::Instance().Cancel(this);
    CloseTransaction();
    EndDialog(IDCANCEL);
}

void CBulkSendDialog::OnSendEnded(const SendResult& result)
{
    KillTimer(m_hWnd, ProgressTimerId);
    const std::uint64_t pauses = PauseMs() > 0 && result.messages > 0 ? result.messages - 1 : 0;
    ShowProgress(SendProgress{m_fileSize, result.bytesLeft, pauses, 0});
    m_taskbar.Clear();
    if (result.outcome == SendOutcome::Failed)
        ShowRefusal(result.errorId, result.driverResult);
    else if (result.outcome == SendOutcome::Stopped)
        AfxMessageBox(IDS_BULK_SEND_STOPPED, {std::to_string(result.bytesLeft), std::to_string(m_fileSize)},
                      MB_ERROR_BOX);
    // What the device held before is in the bulk backup now, not in an older slot's Undo.
    if (result.whole > 0)
        ForgetLastOverwritten();
    ReportResult(result);
    EndDialog(result.outcome == SendOutcome::Sent ? IDOK : IDCANCEL);
}

void CBulkSendDialog::ReportResult(const SendResult& result)
{
    const std::string whole = std::to_string(result.whole);
    const std::string all = std::to_string(result.messages);
    std::string text = result.whole == result.messages
                           ? Counted(result.messages, IDS_BULK_RESULT_ALL_ONE, IDS_BULK_RESULT_ALL)
                       : result.whole + 1 == result.messages
                           ? LoadResString(IDS_BULK_RESULT_PART_LAST, {whole, all, all})
                           : LoadResString(IDS_BULK_RESULT_PART, {whole, all, std::to_string(result.whole + 1), all});
    if (m_showStatus)
        m_showStatus(text);
    // Those that went out may still have been dropped on the way, as the warning said.
    std::string dropped;
    for (std::size_t position : m_longPositions)
        if (position <= result.whole)
            dropped += (dropped.empty() ? "" : ", ") + std::to_string(position);
    if (!dropped.empty())
        text += " " + LoadResString(IDS_BULK_RESULT_LONG, {dropped});
    if (result.whole < result.messages || !dropped.empty())
        AfxMessageBox(text, MB_NOTE_BOX);
}

void CBulkSendDialog::OnTimer(UINT_PTR id)
{
    if (id != ProgressTimerId)
        return CMidiDialog::OnTimer(id);
    ShowProgress(CMidiSender::Instance().Progress(this));
}

void CBulkSendDialog::ShowProgress(const SendProgress& progress)
{
    const unsigned sent = static_cast<unsigned>(progress.bytesLeft);
    const TransferPauses pausing{static_cast<std::uint64_t>(PauseMs()), progress.pausesDone,
                                 progress.pausesLeft};
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
