#include "dialogs/BulkSendDialog.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "framework/File.h"
#include "framework/Controls.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "midi/MidiDriver.h"
#include "midi/MidiPortState.h"
#include "protocol/MessageEnd.h"
#include "resources/resource.h"

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
    return TRUE;
}

// The whole file goes into the dump buffer with one read, so that the transfer never waits
// for the disk. FALSE after reporting why the file cannot be sent.
BOOL CBulkSendDialog::LoadFile()
{
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
    return TRUE;
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
    EnableWindow(GetDlgItem(IDOK), FALSE);
    m_sending = SendOutputBuffer();
    if (!m_sending)
        EndDialog(IDCANCEL);
}

void CBulkSendDialog::OnCancel()
{
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
    MidiPortState& state = PortState();
    MidiDriver& driver = Midi();
    // Every byte before this position has now been sent.
    const unsigned sent = m_position;

    if (driver.midiOutUnprepareHeader(handle, &state.outputHeader, sizeof(MIDIHDR)) != MMSYSERR_NOERROR)
    {
        // The port stays open: the next opening, or the window's end, closes it.
        StopTransfer(sent, IDS_OUTPUT_UNPREPARE_FAILED, FALSE, IDCANCEL);
        return;
    }
    if (m_abortRequested)
    {
        StopTransfer(sent, 0, TRUE, IDCANCEL);
        return;
    }
    if (m_messageRemaining == 0)
    {
        if (m_position == m_fileSize)
        {
            StopTransfer(sent, 0, TRUE, IDOK);
            return;
        }
        FindMessage();
    }

    m_chunkLength = std::min(m_messageRemaining, MidiBufferSize);
    TakeChunk();
    state.outputHeader = MIDIHDR{};
    state.outputHeader.lpData = reinterpret_cast<LPSTR>(state.outputBuffer);
    state.outputHeader.dwBufferLength = m_chunkLength;
    if (driver.midiOutPrepareHeader(handle, &state.outputHeader, sizeof(MIDIHDR)) != MMSYSERR_NOERROR)
    {
        StopTransfer(sent, IDS_OUTPUT_PREPARE_FAILED, TRUE, IDCANCEL);
        return;
    }
    const BOOL handedOver = SendOutputBuffer();
    SetWindowTextUnsigned(m_sentControl, sent);
    if (!handedOver)
        EndDialog(IDCANCEL);
}

void CBulkSendDialog::StopTransfer(unsigned sent, UINT errorId, BOOL closePort, int result)
{
    SetWindowTextUnsigned(m_sentControl, sent);
    if (errorId != 0)
        AfxMessageBox(errorId, MB_ERROR_BOX);
    if (closePort)
        CloseTransaction();
    EndDialog(result);
}
