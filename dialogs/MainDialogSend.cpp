// CMainDialog's sends: a program or algorithm dump from a file, the program change and the
// two device commands, and the checks a dump file passes before it goes out.
#include <cstdio>

#include "dialogs/MainDialog.h"
#include "dialogs/SelectorDialog.h"
#include "framework/File.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "protocol/DumpFileCheck.h"
#include "protocol/SysExMessages.h"
#include "resources/resource.h"

namespace
{
// The device's largest program is 8200 bytes; a single dump of more is surely not one.
constexpr ULONGLONG MaxDumpFileSize = 65536;

// Why a dump file is not sent, by what its check found.
UINT RefusalOf(DumpFileProblem problem)
{
    switch (problem)
    {
    case DumpFileProblem::MidiFile: return IDS_DUMP_IS_MIDI_FILE;
    case DumpFileProblem::SeveralMessages: return IDS_DUMP_HOLDS_MESSAGES;
    case DumpFileProblem::TooShort: return IDS_DUMP_TOO_SHORT;
    case DumpFileProblem::NoEnd: return IDS_DUMP_NO_END;
    case DumpFileProblem::StatusByteInside: return IDS_DUMP_STATUS_BYTE;
    case DumpFileProblem::AlgorithmDump: return IDS_DUMP_IS_ALGORITHM;
    case DumpFileProblem::ProgramDump: return IDS_DUMP_IS_PROGRAM;
    case DumpFileProblem::None: break;
    }
    return 0;
}
}

// A program names the slot it went to; an algorithm goes where its own byte 7 says.
std::string CMainDialog::SentDumpText(std::size_t stampLength, const std::vector<unsigned char>& dump, int slot)
{
    const std::string bytes = std::to_string(dump.size());
    if (stampLength == SysEx::ProgramDumpStampLength)
        return LoadResString(IDS_STATUS_SENT_PROGRAM, {std::to_string(slot), bytes});
    return LoadResString(IDS_STATUS_SENT_ALGORITHM, {dump[7] < 0x80 ? std::to_string(dump[7] + 1) : "?", bytes});
}

void CMainDialog::SendDumpFile(const std::string& fileName, int fileEditId, std::size_t stampLength, const int& slot)
{
    if (!UpdateData(TRUE))
        return;
    if (fileName.empty())
    {
        AfxMessageBox(IDS_NO_SEND_FILE, MB_ERROR_BOX);
        GotoDlgCtrl(GetDlgItem(fileEditId));
        return;
    }
    std::vector<unsigned char> dump;
    if (!LoadDumpFile(fileName, stampLength, dump))
        return;
    if (stampLength == SysEx::ProgramDumpStampLength)
        SendShown(HistoryKind::Program, slot, dump, m_compareAfterSend ? CompareAfterSend(dump, slot) : nullptr);
    else  // the file's own number, checked to be a data byte
        SendShown(HistoryKind::Algorithm, dump[7] + 1, dump, nullptr);
}

void CMainDialog::SendShown(HistoryKind kind, int number, const std::vector<unsigned char>& dump,
                            std::function<void()> compare)
{
    const bool program = kind == HistoryKind::Program;
    const std::string sent =
        SentDumpText(program ? SysEx::ProgramDumpStampLength : SysEx::AlgorithmDumpStampLength, dump, number);
    ShowStatusText("");
    SendOverwriting(kind, number, dump, [this, sent, compare] {
        ShowStatusText(sent);
        UpdateUndo();
        if (compare)
            compare();
    });
}

void CMainDialog::OnUndoLastSend()
{
    if (!LastOverwritten())
        return;
    const OverwrittenDump last = *LastOverwritten();
    SendShown(last.kind, last.number, last.bytes, nullptr);
}

void CMainDialog::UpdateUndo()
{
    if (HMENU systemMenu = GetSystemMenu(m_hWnd, FALSE))
        EnableMenuItem(systemMenu, IDM_UNDO_SEND, MF_BYCOMMAND | (LastOverwritten() ? MF_ENABLED : MF_GRAYED));
}

// Everything is checked before a port opens: the file goes out as one message, under a
// header stamped with this device's address.
BOOL CMainDialog::LoadDumpFile(const std::string& fileName, std::size_t stampLength, std::vector<unsigned char>& dump)
{
    CFile file;
    if (!file.Open(fileName, CFile::modeRead | CFile::shareDenyWrite))
    {
        AfxFileMessageBox(IDS_FILE_OPEN_FAILED, fileName);
        return FALSE;
    }
    const std::string name = file.GetFileName();
    try
    {
        const ULONGLONG length = file.GetLength();
        if (length == 0 || length > MaxDumpFileSize)
        {
            AfxFileMessageBox(length == 0 ? IDS_FILE_EMPTY : IDS_DUMP_FILE_TOO_LARGE, name);
            return FALSE;
        }
        dump.resize(static_cast<size_t>(length));
        if (file.Read(dump.data(), static_cast<UINT>(length)) != length)
            throw CFileException(ERROR_HANDLE_EOF, file.GetFilePath());
    }
    catch (const CFileException&)
    {
        AfxFileMessageBox(IDS_FILE_READ_FAILED, name);
        return FALSE;
    }
    return CheckDump(dump, DisplayPath(name), stampLength);
}

BOOL CMainDialog::CheckDump(const std::vector<unsigned char>& dump, const std::string& shown, std::size_t stampLength)
{
    const DumpFileCheck check = CheckDumpFile(dump.data(), dump.size(), stampLength);
    if (check.problem != DumpFileProblem::None)
    {
        char byte[8];
        std::snprintf(byte, sizeof byte, "%02X", check.offset < dump.size() ? dump[check.offset] : 0);
        AfxMessageBox(RefusalOf(check.problem), {shown, std::to_string(check.messageCount), byte,
                                                 std::to_string(check.offset)}, MB_ERROR_BOX);
        return FALSE;
    }
    // Stamping would hide where the file came from.
    return !check.otherMaker ||
           AfxMessageBox(IDS_CONFIRM_OTHER_MAKER, {shown, std::to_string(stampLength)}, MB_QUESTION_BOX) == IDYES;
}

void CMainDialog::OnSendProgram()
{
    SendDumpFile(m_sendProgramFile, IDC_SEND_PROGRAM_FILE, SysEx::ProgramDumpStampLength, m_sendProgramSlot);
}

void CMainDialog::OnSendAlgorithm()
{
    SendDumpFile(m_sendAlgorithmFile, IDC_SEND_ALGORITHM_FILE, SysEx::AlgorithmDumpStampLength, 0);
}

void CMainDialog::OnProgramChange()
{
    if (!UpdateData(TRUE))
        return;
    const int channel = DeviceNumber();
    const DWORD programChange = MakeProgramChange(channel, m_programChangeNumber);
    SendCounted({static_cast<unsigned char>(programChange), static_cast<unsigned char>(programChange >> 8)},
                LoadResString(IDS_STATUS_SENT_PROGRAM_CHANGE,
                              {std::to_string(m_programChangeNumber), std::to_string(channel)}));
}

void CMainDialog::SendCounted(const std::vector<unsigned char>& message, const std::string& sent)
{
    ShowStatusText("");
    if (!OpenOutputPortFor(message))
        return;
    m_afterSend = [this, sent] { ShowStatusText(sent); };
    SendOutputBuffer();
}

void CMainDialog::OnSendCommand21()
{
    if (AfxMessageBox(IDS_CONFIRM_COMMAND21, MB_QUESTION_BOX) != IDYES)
        return;
    std::vector<unsigned char> command(SysEx::DeviceCommand21Length);
    BuildDeviceCommand21(command.data(), DeviceNumber());
    SendCounted(command, LoadResString(IDS_STATUS_SENT_COMMAND21, {std::to_string(command.size())}));
}

void CMainDialog::OnSendCommand22()
{
    CSelectorDialog selector;
    if (selector.DoModal() != IDOK)
        return;
    static const UINT questions[] = {IDS_CONFIRM_COMMAND22_FIRST, IDS_CONFIRM_COMMAND22_SECOND,
                                     IDS_CONFIRM_COMMAND22_THIRD};
    if (selector.m_choice < 0 || selector.m_choice > 2)
        return;
    if (AfxMessageBox(questions[selector.m_choice], MB_QUESTION_BOX) != IDYES)
        return;
    std::vector<unsigned char> command(SysEx::DeviceCommand22Length);
    BuildDeviceCommand22(command.data(), DeviceNumber(), selector.m_choice);
    SendCounted(command, LoadResString(IDS_STATUS_SENT_COMMAND22,
                                       {std::to_string(selector.m_choice + 1), std::to_string(command.size())}));
}
