#include "dialogs/BulkSendDialog.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "dialogs/Durations.h"
#include "framework/Controls.h"
#include "framework/File.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "midi/MidiDriver.h"
#include "midi/MidiPortState.h"
#include "protocol/BulkFileSummary.h"
#include "protocol/MessageEnd.h"
#include "protocol/MidiFile.h"
#include "protocol/TransferEstimate.h"
#include "resources/resource.h"

namespace
{
constexpr UINT_PTR ProgressTimerId = 2;
constexpr UINT ProgressRefreshMs = 250;
constexpr UINT WM_PAUSE_ELAPSED = WM_APP + 0x101;
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
    m_data = m_dumpBuffer.m_bytes;
    m_position = 0;
    FindMessage();
    m_chunkLength = std::min(m_messageRemaining, MidiBufferSize);

    if (!OpenOutputPort(m_chunkLength))
    {
        EndDialog(IDCANCEL);
        return TRUE;
    }
    // The first piece waits in the prepared output buffer until the user presses OK.
    TakeChunk();
    SetDlgItemInt(IDC_FILE_SIZE, m_fileSize);
    m_sentControl = GetDlgItem(IDC_SENT_COUNT);
    m_taskbar.Attach(m_hWnd);
    return TRUE;
}

// The whole file goes into the dump buffer with one read, so that the transfer never waits
// for the disk. FALSE after reporting why the file cannot be sent.
BOOL CBulkSendDialog::LoadFile()
{
    if (!m_bytes.empty())
    {
        m_dumpBuffer.Free();
        if (!m_dumpBuffer.Init(static_cast<unsigned>(m_bytes.size()), MidiBufferSize))
        {
            AfxMessageBox(IDS_OUT_OF_MEMORY, MB_ERROR_BOX);
            return FALSE;
        }
        std::copy(m_bytes.begin(), m_bytes.end(), m_dumpBuffer.m_bytes);
        m_fileSize = static_cast<unsigned>(m_bytes.size());
        ShowSummary(false, 0);
        return TRUE;
    }
    CFile file;
    if (!file.Open(m_fileName, CFile::modeRead | CFile::shareExclusive))
    {
        AfxFileMessageBox(IDS_FILE_OPEN_FAILED, m_fileName);
        return FALSE;
    }
    try
    {
        const ULONGLONG length = file.GetLength();
        if (length == 0)
        {
            AfxFileMessageBox(IDS_FILE_EMPTY, file.GetFileName());
            return FALSE;
        }
        // Positions and counts are 32-bit, and the last position equals the file's length.
        m_dumpBuffer.Free();
        if (length > std::numeric_limits<unsigned>::max() ||
            !m_dumpBuffer.Init(static_cast<unsigned>(length), MidiBufferSize))
        {
            AfxMessageBox(IDS_OUT_OF_MEMORY, MB_ERROR_BOX);
            return FALSE;
        }
        if (file.Read(m_dumpBuffer.m_bytes, static_cast<UINT>(length)) != length)
            throw CFileException(ERROR_HANDLE_EOF, file.GetFilePath());
        m_fileSize = static_cast<unsigned>(length);
    }
    catch (const CFileException&)
    {
        AfxFileMessageBox(IDS_FILE_READ_FAILED, file.GetFileName());
        return FALSE;
    }
    if (!IsStandardMidiFile(m_dumpBuffer.m_bytes, m_fileSize))
    {
        ShowSummary(false, 0);
        return TRUE;
    }
    return TakeMidiFileMessages();
}

BOOL CBulkSendDialog::TakeMidiFileMessages()
{
    std::vector<unsigned char> messages;
    std::size_t count = 0;
    const MidiFileError error = ReadMidiFileSysEx(m_dumpBuffer.m_bytes, m_fileSize, messages, count);
    if (error == MidiFileError::None && count == 0)
    {
        AfxMessageBox(IDS_MIDI_FILE_NO_SYSEX, {DisplayPath(FileNamePart(m_fileName))}, MB_ERROR_BOX);
        return FALSE;
    }
    if (error != MidiFileError::None)
    {
        const UINT reason = IDS_MIDI_FILE_REASON_BASE + static_cast<UINT>(error);
        AfxMessageBox(IDS_MIDI_FILE_DAMAGED, {DisplayPath(FileNamePart(m_fileName)), LoadResString(reason)},
                      MB_ERROR_BOX);
        return FALSE;
    }
    // Never longer than the file: each message there carries an event type and a length.
    std::copy(messages.begin(), messages.end(), m_dumpBuffer.m_bytes);
    m_fileSize = static_cast<unsigned>(messages.size());
    ShowSummary(true, count);
    return TRUE;
}

void CBulkSendDialog::ShowSummary(bool midiFile, std::size_t midiMessages)
{
    if (midiFile)
    {
        SetDlgItemText(IDC_SEND_SUMMARY, LoadResString(IDS_BULK_SUMMARY_MIDI, {std::to_string(midiMessages)}));
        return;
    }
    const BulkFileSummary summary = SummarizeBulkFile(m_dumpBuffer.m_bytes, m_fileSize);
    SetDlgItemText(IDC_SEND_SUMMARY, LoadResString(IDS_BULK_SUMMARY, {std::to_string(summary.completeMessages)}));
    if (summary.bytesOutsideMessages > 0 || summary.unterminatedMessages > 0)
        SetDlgItemText(IDC_SEND_WARNING, LoadResString(IDS_BULK_WARNING,
                                                       {std::to_string(summary.bytesOutsideMessages),
                                                        std::to_string(summary.unterminatedMessages)}));
}

void CBulkSendDialog::FindMessage()
{
    m_messageEnd = static_cast<unsigned>(FindMessageEnd(m_data, m_fileSize, m_position));
    m_messageRemaining = m_messageEnd - m_position + 1;
}

void CBulkSendDialog::TakeChunk()
{
    std::memcpy(PortState().outputBuffer, m_data + m_position, m_chunkLength);
    m_position += m_chunkLength;
    m_messageRemaining -= m_chunkLength;
}

void CBulkSendDialog::OnOK()
{
    // A second OK (Enter, or a command already queued) must not hand the piece over again.
    if (m_sending)
        return;
    // Cancel keeps the keyboard once Send is disabled, so that Escape still stops the transfer.
    GotoDlgCtrl(GetDlgItem(IDCANCEL));
    EnableWindow(GetDlgItem(IDOK), FALSE);
    m_startedAt = GetTickCount64();
    m_sending = SendOutputBuffer();
    if (!m_sending)
    {
        EndDialog(IDCANCEL);
        return;
    }
    SetTimer(m_hWnd, ProgressTimerId, ProgressRefreshMs, nullptr);
    ShowProgress();
}

void CBulkSendDialog::OnCancel()
{
    // During a pause no piece is in flight: the transfer ends at once.
    if (m_pause.IsRunning())
    {
        m_pause.Cancel();
        StopTransfer(m_position, 0, TRUE, IDCANCEL);
        return;
    }
    // A piece in the driver's hands cannot be taken back: the next completion ends the dialog.
    if (m_sending)
    {
        m_abortRequested = TRUE;
        return;
    }
    CloseTransaction();
    EndDialog(IDCANCEL);
}

// Each completion hands the next piece to the driver, so only one piece is ever in flight.
// The count follows the hand-over, so that the line never waits for its repainting.
void CBulkSendDialog::OnMidiOut(HMIDIOUT handle, UINT message, DWORD_PTR, DWORD_PTR, DWORD_PTR)
{
    if (message != MOM_DONE)
        return;
    // Every byte before this position has now been sent.
    m_sent = m_position;

    if (Midi().midiOutUnprepareHeader(handle, &PortState().outputHeader, sizeof(MIDIHDR)) != MMSYSERR_NOERROR)
    {
        // The port stays open: the next opening, or the window's end, closes it.
        StopTransfer(m_sent, IDS_OUTPUT_UNPREPARE_FAILED, FALSE, IDCANCEL);
        return;
    }
    if (m_abortRequested)
    {
        StopTransfer(m_sent, 0, TRUE, IDCANCEL);
        return;
    }
    if (m_messageRemaining == 0)
    {
        if (m_position == m_fileSize)
        {
            StopTransfer(m_sent, 0, TRUE, IDOK);
            return;
        }
        const int pause = PortState().pauseMs;
        if (pause > 0 && m_pause.Start(m_hWnd, WM_PAUSE_ELAPSED, static_cast<UINT>(pause)))
        {
            SetWindowTextUnsigned(m_sentControl, m_sent);
            return;
        }
        FindMessage();
    }
    if (SendNextPiece(handle))
        SetWindowTextUnsigned(m_sentControl, m_sent);
}

BOOL CBulkSendDialog::SendNextPiece(HMIDIOUT handle)
{
    MidiPortState& state = PortState();
    m_chunkLength = std::min(m_messageRemaining, MidiBufferSize);
    TakeChunk();
    state.outputHeader = MIDIHDR{};
    state.outputHeader.lpData = reinterpret_cast<LPSTR>(state.outputBuffer);
    state.outputHeader.dwBufferLength = m_chunkLength;
    if (Midi().midiOutPrepareHeader(handle, &state.outputHeader, sizeof(MIDIHDR)) != MMSYSERR_NOERROR)
    {
        StopTransfer(m_sent, IDS_OUTPUT_PREPARE_FAILED, TRUE, IDCANCEL);
        return FALSE;
    }
    if (!SendOutputBuffer())
    {
        StopTransfer(m_sent, 0, FALSE, IDCANCEL);
        return FALSE;
    }
    return TRUE;
}

INT_PTR CBulkSendDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    if (message != WM_PAUSE_ELAPSED)
        return CMidiDialog::OnMessage(message, wParam, lParam, handled);
    handled = true;
    if (!m_pause.IsRunning())
        return 0;  // cancelled in the meantime
    m_pause.Elapsed();
    FindMessage();
    SendNextPiece(PortState().outputHandle);
    return 0;
}

void CBulkSendDialog::OnTimer(UINT_PTR id)
{
    if (id == ProgressTimerId)
        ShowProgress();
    else
        CMidiDialog::OnTimer(id);
}

void CBulkSendDialog::ShowProgress()
{
    const TransferEstimate estimate = EstimateTransfer(m_sent, m_fileSize, GetTickCount64() - m_startedAt);
    SendDlgItemMessageW(m_hWnd, IDC_SEND_PROGRESS, PBM_SETPOS, estimate.percent, 0);
    const std::string percent = std::to_string(estimate.percent);
    SetDlgItemText(IDC_SEND_TIME_LEFT,
                   estimate.secondsLeft <= 0
                       ? LoadResString(IDS_SEND_PROGRESS_NO_ESTIMATE, {percent})
                       : LoadResString(IDS_SEND_PROGRESS, {percent, FormatDuration(estimate.secondsLeft)}));
    m_taskbar.Show(m_sent, m_fileSize);
}

void CBulkSendDialog::StopTransfer(unsigned sent, UINT errorId, BOOL closePort, int result)
{
    KillTimer(m_hWnd, ProgressTimerId);
    m_sent = sent;
    SetWindowTextUnsigned(m_sentControl, sent);
    if (m_sending)
        ShowProgress();
    m_taskbar.Clear();
    if (errorId != 0)
        AfxMessageBox(errorId, MB_ERROR_BOX);
    if (closePort)
        CloseTransaction();
    EndDialog(result);
}
