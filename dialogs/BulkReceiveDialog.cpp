#include "dialogs/BulkReceiveDialog.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "dialogs/Durations.h"
#include "framework/Controls.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "framework/Unicode.h"
#include "midi/MidiPortState.h"
#include "midi/MidiReceiver.h"
#include "protocol/BankIndex.h"
#include "protocol/SysExMessages.h"
#include "protocol/TransferEstimate.h"
#include "resources/resource.h"

namespace
{
constexpr UINT_PTR RateTimerId = 3;
constexpr UINT RateRefreshMs = 500;
// At full speed a block comes every few dozen microseconds, and redrawing the count for each
// took most of the window's time; the rate's timer shows the count the last block left.
constexpr ULONGLONG CountRefreshMs = 50;
UINT g_backupSilenceMs = DefaultBackupSilenceMs;
}

void SetBackupSilenceMs(UINT milliseconds)
{
    g_backupSilenceMs = milliseconds;
}

CBulkReceiveDialog::CBulkReceiveDialog(CDialog* parent) : CMidiDialog(IDD_BULK_RECEIVE, parent)
{
}

BOOL CBulkReceiveDialog::OnInitDialog()
{
    CMidiDialog::OnInitDialog();
    if (m_initFailed)
        return TRUE;

    if (m_backup)
    {
        SetWindowTextW(m_hWnd, Widen(LoadResString(IDS_BACKUP_CAPTION)).c_str());
        SetDlgItemText(IDC_RECEIVE_INTRO, LoadResString(IDS_BACKUP_INTRO));
    }
    else
    {
        m_completionAction = &CMidiDialog::SaveDumpToFile;
        m_targetFile = &m_fileName;
    }
    if (!OpenPorts(SysEx::BulkDumpRequestLength))
    {
        EndDialog(IDCANCEL);
        return TRUE;
    }

    m_countControl = GetDlgItem(IDC_RECEIVED_COUNT);
    if (!SendRequest(SysEx::BulkDumpRequestLength, BuildBulkDumpRequest))
    {
        EndDialog(IDCANCEL);
        return TRUE;
    }
    m_awaitingFirstBlock = StartReplyTimer();
    m_taskbar.Attach(m_hWnd);
    m_taskbar.ShowBusy();
    return TRUE;
}

// Every block is kept, whatever it ends with: only the user decides when the dump is complete.
// Buffers handed back by an input reset never get here: CloseInputPort releases them, and
// Store takes them back itself.
void CBulkReceiveDialog::OnMidiIn(HMIDIIN handle, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR)
{
    DWORD recorded = 0;
    MIDIHDR* header = ReceivedBlock(handle, message, param1, recorded);
    if (header == nullptr)
        return;

    if (!TakeBlock(header->lpData, recorded))
        return;

    // Checked against everything received so far, so that a refusal split over several small
    // blocks is still recognised; it is shown once its F7 is in, since its codes come last.
    if (IsErrorReply(m_dumpBuffer.m_bytes, m_dumpBuffer.m_length, true) &&
        std::memchr(header->lpData, SysEx::End, recorded) != nullptr)
    {
        CloseInputPort();
        ShowErrorReply();
        EndDialog(IDCANCEL);
        return;
    }

    // The buffer goes back to the driver first: the count's update must not keep it waiting.
    RequeueInputBuffer(handle, header);
    ShowCount(false);
}

void CBulkReceiveDialog::ShowCount(bool now)
{
    const ULONGLONG tick = GetTickCount64();
    if (!now && tick - m_countShownAt < CountRefreshMs)
        return;
    m_countShownAt = tick;
    SetWindowTextUnsigned(m_countControl, m_dumpBuffer.m_length);
}

// A bulk dump runs to megabytes: growing by the size already held keeps the copying of the
// enlargements linear in the dump's length. When memory is short, it grows by what it needs.
BOOL CBulkReceiveDialog::AppendBlock(const void* bytes, unsigned length)
{
    const unsigned capacity = m_dumpBuffer.m_capacity;
    const unsigned headroom = std::numeric_limits<unsigned>::max() - capacity;
    m_dumpBuffer.m_growBy = std::max(MidiBufferSize, std::min(capacity, headroom));
    if (m_dumpBuffer.Append(bytes, length))
        return TRUE;
    m_dumpBuffer.m_growBy = MidiBufferSize;
    return m_dumpBuffer.Append(bytes, length);
}

BOOL CBulkReceiveDialog::TakeBlock(const void* bytes, unsigned length)
{
    // Once data flows, the reception waits for the user without a time limit. The timer is
    // stopped once: stopping it again for every block would only cost time.
    if (m_awaitingFirstBlock)
    {
        KillTimer(m_hWnd, ReplyTimerId);
        m_awaitingFirstBlock = FALSE;
        m_firstBlockAt = GetTickCount64();
        m_firstBlockBytes = length;
        SetTimer(m_hWnd, RateTimerId, RateRefreshMs, nullptr);
    }
    m_lastBlockAt = GetTickCount64();
    if (AppendBlock(bytes, length))
        return TRUE;
    AfxMessageBox(IDS_OUT_OF_MEMORY, MB_ERROR_BOX);
    return FALSE;
}

// Every byte the driver holds belongs to the dump the user stores: input stops, and what it
// handed back is appended, in order.
void CBulkReceiveDialog::TakeBackHeldBytes()
{
    for (const CMidiReceiver::HeldBlock& block : TakeBackInputBlocks())
        TakeBlock(block.data, block.recorded);
    ShowCount(true);
}

void CBulkReceiveDialog::OnOK()
{
    // Blocks the driver has already delivered belong to the dump the user asked to store.
    DeliverPendingMidiEvents();
    // A second Store while the save's own dialogs are up would save the dump twice at once.
    if (IsEnding() || IsSaving())
        return;
    TakeBackHeldBytes();
    // A message still arriving would be stored cut short; its rest may come while the user
    // decides, and No (the default) waits for it.
    if (m_dumpBuffer.m_length > 0 && m_dumpBuffer.m_bytes[m_dumpBuffer.m_length - 1] != SysEx::End)
    {
        CMidiReceiver::Instance().Restart();
        if (AfxMessageBox(IDS_CONFIRM_STORE_INCOMPLETE, MB_QUESTION_BOX) != IDYES)
            return;
        TakeBackHeldBytes();
    }
    CloseInputPort();
    if (m_completionAction != nullptr)
    {
        if (m_dumpBuffer.m_length > 0)
            (this->*m_completionAction)();
        else
            AfxMessageBox(IDS_NOTHING_RECEIVED, MB_ERROR_BOX);
    }
    CMidiDialog::OnOK();
}

// Escape and the close box come here too: a dump that has arrived is not thrown away unasked.
// No goes back to the dialog, which goes on receiving.
void CBulkReceiveDialog::OnCancel()
{
    DeliverPendingMidiEvents();
    if (IsEnding() || IsSaving())
        return;
    // A backup that is cancelled is not needed: nothing will be sent.
    if (!m_backup && m_dumpBuffer.m_length > 0 &&
        AfxMessageBox(IDS_CONFIRM_DISCARD, {std::to_string(m_dumpBuffer.m_length)}, MB_QUESTION_BOX) != IDYES)
        return;
    m_cancelled = TRUE;
    CloseInputPort();
    EndDialog(IDCANCEL);
}

void CBulkReceiveDialog::OnTimer(UINT_PTR id)
{
    if (id == RateTimerId)
    {
        ShowRate();
        if (m_backup && DataHasStopped())
        {
            // Not again while OK asks about a message still arriving.
            KillTimer(m_hWnd, RateTimerId);
            OnOK();
            if (!IsEnding())
                SetTimer(m_hWnd, RateTimerId, RateRefreshMs, nullptr);
        }
        return;
    }
    CMidiDialog::OnTimer(id);
    if (m_timedOut)
        EndDialog(IDCANCEL);
}

// The rate while data came, and how long ago the last came: once the count stops, so does
// the rate, and the silence says the dump is complete.
void CBulkReceiveDialog::ShowRate()
{
    ShowCount(true);
    CountMessages();
    const ReceptionFigures figures =
        MeasureReception(m_firstBlockBytes, m_dumpBuffer.m_length, m_firstBlockAt, m_lastBlockAt, GetTickCount64());
    const std::string silence = FormatDuration(static_cast<std::int64_t>(figures.silentSeconds));
    SetDlgItemText(IDC_RECEIVE_RATE, figures.bytesPerSecond < 0
                                         ? LoadResString(IDS_RECEIVE_LAST_DATA, {silence})
                                         : LoadResString(IDS_RECEIVE_RATE,
                                                         {std::to_string(figures.bytesPerSecond), silence}));
}

bool CBulkReceiveDialog::DataHasStopped() const
{
    const unsigned length = m_dumpBuffer.m_length;
    return length > 0 && m_dumpBuffer.m_bytes[length - 1] == SysEx::End &&
           GetTickCount64() - m_lastBlockAt >= g_backupSilenceMs;
}

void CBulkReceiveDialog::CountMessages()
{
    const unsigned char* bytes = m_dumpBuffer.m_bytes;
    for (const unsigned char* end; m_counted < m_dumpBuffer.m_length; m_counted = m_messageStart)
    {
        end = static_cast<const unsigned char*>(std::memchr(bytes + m_counted, SysEx::End, m_dumpBuffer.m_length - m_counted));
        if (end == nullptr)
        {
            m_counted = m_dumpBuffer.m_length;
            break;
        }
        const unsigned length = static_cast<unsigned>(end - bytes) + 1 - m_messageStart;
        const BankMessageKind kind = ClassifyMessage(bytes + m_messageStart, length).kind;
        m_messageCounts[0] += kind != BankMessageKind::NotAMessage;
        m_messageCounts[1] += kind == BankMessageKind::ProgramDump;
        m_messageCounts[2] += kind == BankMessageKind::AlgorithmDump;
        m_messageStart += length;
    }
    SetDlgItemText(IDC_RECEIVED_MESSAGES, LoadResString(IDS_RECEIVED_MESSAGES, {std::to_string(m_messageCounts[0]),
                                                                                std::to_string(m_messageCounts[1]),
                                                                                std::to_string(m_messageCounts[2])}));
}
