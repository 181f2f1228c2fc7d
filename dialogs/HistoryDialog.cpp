#include "dialogs/HistoryDialog.h"

#include <commctrl.h>

#include "dialogs/BulkSendDialog.h"
#include "dialogs/MainDialog.h"
#include "framework/File.h"
#include "framework/FileDialog.h"
#include "framework/MessageBox.h"
#include "framework/SafeSave.h"
#include "framework/Strings.h"
#include "framework/Unicode.h"
#include "history/DumpHistory.h"
#include "protocol/SysExMessages.h"
#include "resources/resource.h"

namespace
{
// Dialog units: when, what, from, size, the text the dump holds.
const int ColumnWidths[] = {90, 70, 190, 50, 90};

std::string WhenText(const SYSTEMTIME& when)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", when.wYear, when.wMonth, when.wDay, when.wHour,
                  when.wMinute, when.wSecond);
    return text;
}

constexpr unsigned long long LargestSingleDump = 65536;
constexpr ControlAnchor Anchors[] = {
    {IDC_HISTORY_LIST, false, false, true, true},     {IDC_HISTORY_STATUS, false, true, true, false},
    {IDC_HISTORY_OPEN, false, true, false, false},    {IDC_HISTORY_SAVE_AS, false, true, false, false},
    {IDC_HISTORY_DELETE, false, true, false, false},  {IDC_HISTORY_RESTORE, false, true, false, false},
    {IDC_HISTORY_COMPARE, false, true, false, false}, {IDCANCEL, true, true, false, false},
};

// The entry's file; FALSE when it cannot be read whole.
BOOL ReadEntryFile(const HistoryEntry& entry, std::vector<unsigned char>& bytes)
{
    CFile file;
    if (!file.Open(History().PathOf(entry), CFile::modeRead | CFile::shareDenyWrite))
        return FALSE;
    bytes.resize(static_cast<std::size_t>(entry.size));
    try
    {
        return file.Read(bytes.data(), static_cast<UINT>(bytes.size())) == bytes.size();
    }
    catch (const CFileException&)
    {
        return FALSE;
    }
}

// A single dump's bytes: a bulk dump, or one larger than a single dump can be, is none.
BOOL ReadEntry(const HistoryEntry& entry, std::vector<unsigned char>& bytes)
{
    return entry.kind != HistoryKind::Bulk && entry.size <= LargestSingleDump && ReadEntryFile(entry, bytes);
}

// The text a program or algorithm dump holds, as the bank window shows it; a bulk dump holds many.
std::string EntryText(const HistoryEntry& entry)
{
    std::vector<unsigned char> bytes;
    return ReadEntry(entry, bytes) ? ShownDumpText(bytes.data(), bytes.size()) : "";
}

std::string CellText(const HistoryEntry& entry, int column)
{
    switch (column)
    {
    case 0: return WhenText(entry.when);
    case 1: return LoadResString(IDS_HISTORY_KIND_BASE + static_cast<int>(entry.kind), {std::to_string(entry.number)});
    case 2:
        if (entry.overwrittenSlot == BeforeBulkRestore)
            return LoadResString(IDS_HISTORY_BEFORE_RESTORE);
        return entry.overwrittenSlot == ReceivedFromDevice
                   ? LoadResString(IDS_HISTORY_RECEIVED)
                   : LoadResString(IDS_HISTORY_BEFORE_SLOT, {std::to_string(entry.overwrittenSlot)});
    case 3: return FormatGroupedNumber(entry.size);
    default: return EntryText(entry);
    }
}
}

CHistoryDialog::CHistoryDialog(CDialog* parent) : CMidiDialog(IDD_HISTORY, parent)
{
}

BOOL CHistoryDialog::OnInitDialog()
{
    CMidiDialog::OnInitDialog();
    if (m_initFailed)
        return TRUE;
    m_anchors.Capture(m_hWnd, Anchors, std::size(Anchors));
    m_list = GetDlgItem(IDC_HISTORY_LIST);
    ListView_SetExtendedListViewStyle(m_list, LVS_EX_FULLROWSELECT);
    for (int column = 0; column < static_cast<int>(std::size(ColumnWidths)); ++column)
    {
        RECT units{0, 0, ColumnWidths[column], 0};
        MapDialogRect(m_hWnd, &units);
        const std::wstring title = Widen(LoadResString(IDS_HISTORY_COLUMN_BASE + column));
        LVCOLUMNW header{};
        header.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        header.fmt = column == 3 ? LVCFMT_RIGHT : LVCFMT_LEFT;
        header.cx = units.right;
        header.pszText = const_cast<wchar_t*>(title.c_str());
        SendMessageW(m_list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&header));
    }
    ShowEntries();
    ShowStatus(History().TakeNotices());
    return TRUE;
}

void CHistoryDialog::ShowEntries()
{
    ListView_DeleteAllItems(m_list);
    m_shown = History().Entries();
    const std::vector<HistoryEntry>& entries = m_shown;
    for (std::size_t row = 0; row < entries.size(); ++row)
        for (int column = 0; column < static_cast<int>(std::size(ColumnWidths)); ++column)
        {
            const std::wstring text = Widen(CellText(entries[row], column));
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(row);
            item.iSubItem = column;
            item.pszText = const_cast<wchar_t*>(text.c_str());
            SendMessageW(m_list, column == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        }
    if (!entries.empty())
        ListView_SetItemState(m_list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    UpdateButtons();
}

void CHistoryDialog::Refresh()
{
    ShowEntries();
    ShowStatus(History().TakeNotices());
}

void CHistoryDialog::ShowStatus(const std::string& notices)
{
    unsigned long long bytes = 0;
    for (const HistoryEntry& entry : History().Entries())
        bytes += entry.size;
    SetDlgItemText(IDC_HISTORY_STATUS,
                   !notices.empty() ? notices
                                    : LoadResString(IDS_HISTORY_SUMMARY, {std::to_string(History().Entries().size()),
                                                                          FormatGroupedNumber(bytes),
                                                                          DisplayPath(History().Folder())}));
}

int CHistoryDialog::Selected() const
{
    const int row = ListView_GetNextItem(m_list, -1, LVNI_SELECTED);
    return row < static_cast<int>(m_shown.size()) ? row : -1;
}

void CHistoryDialog::UpdateButtons()
{
    const int row = Selected();
    for (int control : {IDC_HISTORY_OPEN, IDC_HISTORY_SAVE_AS, IDC_HISTORY_DELETE, IDC_HISTORY_RESTORE})
        EnableWindow(GetDlgItem(control), row >= 0);
    // The device is compared one dump at a time.
    EnableWindow(GetDlgItem(IDC_HISTORY_COMPARE),
                 row >= 0 && m_shown[static_cast<std::size_t>(row)].kind != HistoryKind::Bulk);
}

void CHistoryDialog::EnableControls(BOOL enable)
{
    EnableAllButCancel(enable, [this] { UpdateButtons(); });
}

BOOL CHistoryDialog::OnCommand(UINT id, UINT notifyCode)
{
    switch (id)
    {
    case IDC_HISTORY_RESTORE: OnRestore(); return TRUE;
    case IDC_HISTORY_COMPARE: OnCompare(); return TRUE;
    case IDC_HISTORY_OPEN: OnOpenInBank(); return TRUE;
    case IDC_HISTORY_SAVE_AS: OnSaveAs(); return TRUE;
    case IDC_HISTORY_DELETE: OnDelete(); return TRUE;
    default: return CMidiDialog::OnCommand(id, notifyCode);
    }
}

INT_PTR CHistoryDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    if (m_anchors.OnMessage(message, lParam))
    {
        handled = true;
        return 0;
    }
    if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->idFrom == IDC_HISTORY_LIST &&
        reinterpret_cast<const NMHDR*>(lParam)->code == LVN_ITEMCHANGED)
        UpdateButtons();
    return CMidiDialog::OnMessage(message, wParam, lParam, handled);
}

BOOL CHistoryDialog::SelectedDump(HistoryEntry& entry, std::vector<unsigned char>& bytes)
{
    const int row = Selected();
    if (row < 0)
        return FALSE;
    entry = m_shown[static_cast<std::size_t>(row)];
    if (!ReadEntry(entry, bytes))
    {
        AfxFileMessageBox(IDS_FILE_READ_FAILED, History().PathOf(entry));
        return FALSE;
    }
    return CMainDialog::CheckDump(bytes, entry.fileName,
                                  entry.kind == HistoryKind::Program ? SysEx::ProgramDumpStampLength
                                                                     : SysEx::AlgorithmDumpStampLength);
}

void CHistoryDialog::OnRestore()
{
    const int row = Selected();
    if (row < 0 || !OutputIsFree())
        return;
    if (m_shown[static_cast<std::size_t>(row)].kind == HistoryKind::Bulk)
    {
        CBulkSendDialog send(this);
        send.m_fileName = History().PathOf(m_shown[static_cast<std::size_t>(row)]);
        RunMidiDialog(send);
        Refresh();  // with the backup the send made
        return;
    }
    HistoryEntry entry;
    std::vector<unsigned char> bytes;
    if (!SelectedDump(entry, bytes))
        return;
    const std::string sent = CMainDialog::SentDumpText(
        entry.kind == HistoryKind::Program ? SysEx::ProgramDumpStampLength : SysEx::AlgorithmDumpStampLength, bytes,
        entry.number);
    // A backup's number is the slot it came from, a received dump's its own.
    SendOverwriting(entry.kind, entry.number, bytes, [this, sent] {
        ShowEntries();  // with the backup this send made
        SetDlgItemText(IDC_HISTORY_STATUS, sent);
    });
}

void CHistoryDialog::OnCompare()
{
    HistoryEntry entry;
    std::vector<unsigned char> bytes;
    if (SelectedDump(entry, bytes))
        CompareWithDevice(entry.kind, entry.number, bytes, StoredName(entry.kind, entry.number));
}

void CHistoryDialog::OnOpenInBank()
{
    const int row = Selected();
    if (row < 0 || !m_openInBank)
        return;
    m_openInBank(History().PathOf(m_shown[static_cast<std::size_t>(row)]));
    // The bank's sends back slots up: the rows must name the entries that are there now.
    Refresh();
}

void CHistoryDialog::OnSaveAs()
{
    const int row = Selected();
    if (row < 0)
        return;
    const HistoryEntry entry = m_shown[static_cast<std::size_t>(row)];
    CFileDialog choose(FALSE, "syx", entry.fileName.c_str(), OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST,
                       SysExFileFilter, this);
    choose.m_title = LoadResString(IDS_HISTORY_SAVE_TITLE);
    if (choose.DoModal() != IDOK)
        return;
    // Written as a receive writes its file: what was there stays unless the copy is whole.
    std::vector<unsigned char> bytes;
    if (!ReadEntryFile(entry, bytes))
        AfxFileMessageBox(IDS_FILE_READ_FAILED, History().PathOf(entry));
    else
        SaveFileReplacing(choose.GetPathName(), bytes.data(), bytes.size());
}

void CHistoryDialog::OnDelete()
{
    const int row = Selected();
    if (row < 0)
        return;
    const HistoryEntry entry = m_shown[static_cast<std::size_t>(row)];
    if (AfxMessageBox(IDS_HISTORY_CONFIRM_DELETE, {CellText(entry, 1)}, MB_QUESTION_BOX) != IDYES)
        return;
    if (!History().Remove(entry.fileName))
        AfxFileMessageBox(IDS_HISTORY_DELETE_FAILED, History().PathOf(entry));
    Refresh();
}
