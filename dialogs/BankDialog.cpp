#include "dialogs/BankDialog.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "dialogs/BulkFile.h"
#include "dialogs/BulkSendDialog.h"
#include "dialogs/MainDialog.h"
#include "dialogs/SlotDialog.h"
#include "framework/File.h"
#include "framework/FileDialog.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "framework/Unicode.h"
#include "midi/MidiApp.h"
#include "midi/MidiPortState.h"
#include "protocol/BulkFileSummary.h"
#include "protocol/HexText.h"
#include "protocol/SysExMessages.h"
#include "resources/resource.h"

namespace
{
using Kind = BankMessageKind;
constexpr std::size_t ShownBytes = 16;
// The columns' widths in dialog units when no width is kept.
constexpr int DefaultColumnWidths[BankWindowLayout::ColumnCount] = {26, 90, 32, 36, 196, 90};
// The text column comes last in the kept widths but is shown after the message's kind.
constexpr int TextColumn = 5;
constexpr int ColumnOrder[BankWindowLayout::ColumnCount] = {0, 1, TextColumn, 2, 3, 4};

std::wstring Lowered(const std::string& text)
{
    std::wstring wide = Widen(text);
    if (!wide.empty())
        CharLowerBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    return wide;
}

constexpr ControlAnchor Anchors[] = {
    {IDC_BANK_SUMMARY, false, false, true, false},       {IDC_BANK_LIST, false, false, true, true},
    {IDC_BANK_SEND_TO_SLOT, false, true, false, false},  {IDC_BANK_SEND, false, true, false, false},
    {IDC_BANK_SAVE_AS, false, true, false, false},       {IDC_BANK_COMPARE, false, true, false, false},
    {IDCANCEL, true, true, false, false},
};
}

CBankDialog::CBankDialog(CDialog* parent) : CMidiDialog(IDD_BANK, parent)
{
}

BOOL CBankDialog::OnInitDialog()
{
    CMidiDialog::OnInitDialog();
    if (m_initFailed)
        return TRUE;
    if (!LoadFile())
    {
        EndDialog(IDCANCEL);
        return TRUE;
    }
    m_index = IndexBank(m_bytes.data(), m_bytes.size());
    for (const BankMessage& message : m_index)
        m_texts.push_back(DumpText(m_bytes.data() + message.offset, message.length));
    SetWindowTextW(m_hWnd, Widen(LoadResString(IDS_BANK_TITLE, {FileNamePart(m_fileName)})).c_str());
    for (int kind = 0; kind < 6; ++kind)
        m_kindFormats[kind] = LoadResString(IDS_BANK_KIND_BASE + kind);
    for (std::size_t row = 0; row < m_index.size(); ++row)
        m_shownRows.push_back(row);
    ShowSummary();

    m_anchors.Capture(m_hWnd, Anchors, std::size(Anchors));
    SetUpList();
    if (m_layout != nullptr && m_layout->width > 0 && m_layout->height > 0)
        SetWindowPos(m_hWnd, nullptr, 0, 0, std::max<int>(m_layout->width, m_anchors.MinimumSize().cx),
                     std::max<int>(m_layout->height, m_anchors.MinimumSize().cy), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    UpdateButtons();
    // The keys go to the rows first, as before Find was there: Find is a Shift+Tab away.
    GotoDlgCtrl(m_list);
    return FALSE;
}

// A Standard MIDI File shows the SysEx messages it holds, as the bulk send sends them.
BOOL CBankDialog::LoadFile()
{
    BulkFileContent content;
    if (!ReadBulkFile(m_fileName, content, BankRefusals))
        return FALSE;
    m_bytes.swap(content.bytes);
    return TRUE;
}

void CBankDialog::ShowSummary()
{
    const auto count = [&](Kind kind) {
        return std::to_string(std::count_if(m_index.begin(), m_index.end(),
                                            [kind](const BankMessage& m) { return m.kind == kind; }));
    };
    std::string text = LoadResString(IDS_BANK_SUMMARY, {std::to_string(m_index.size()), count(Kind::ProgramDump),
                                                        count(Kind::AlgorithmDump)});
    if (m_shownRows.size() < m_index.size())
        text += " " + LoadResString(IDS_BANK_SHOWN, {std::to_string(m_shownRows.size())});
    const BulkFileSummary summary = SummarizeBulkFile(m_bytes.data(), m_bytes.size());
    if (summary.bytesOutsideMessages > 0 || summary.unterminatedMessages > 0)
        text += " " + LoadResString(IDS_BANK_PROBLEM, {std::to_string(summary.bytesOutsideMessages),
                                                       std::to_string(summary.unterminatedMessages)});
    SetDlgItemText(IDC_BANK_SUMMARY, text);
}

void CBankDialog::SetUpList()
{
    m_list = GetDlgItem(IDC_BANK_LIST);
    ListView_SetExtendedListViewStyle(m_list, LVS_EX_FULLROWSELECT);
    for (int column = 0; column < BankWindowLayout::ColumnCount; ++column)
    {
        RECT units{0, 0, DefaultColumnWidths[column], 0};
        MapDialogRect(m_hWnd, &units);
        const int kept = m_layout != nullptr ? m_layout->columns[column] : 0;
        const std::wstring title =
            Widen(LoadResString(column == TextColumn ? IDS_BANK_TEXT_COLUMN : IDS_BANK_COLUMN_BASE + column));
        LVCOLUMNW header{};
        header.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        header.fmt = column == 0 || column == 2 || column == 3 ? LVCFMT_RIGHT : LVCFMT_LEFT;
        header.cx = kept > 0 ? kept : units.right;
        header.pszText = const_cast<wchar_t*>(title.c_str());
        SendMessageW(m_list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&header));
    }
    ListView_SetColumnOrderArray(m_list, BankWindowLayout::ColumnCount, const_cast<int*>(ColumnOrder));
    // A virtual list: rows are formatted when they are shown, never stored.
    ListView_SetItemCountEx(m_list, static_cast<int>(m_shownRows.size()), LVSICF_NOINVALIDATEALL);
}

void CBankDialog::ApplyFind()
{
    const std::wstring wanted = Lowered(GetDlgItemText(IDC_BANK_FIND));
    const auto holds = [&wanted](const std::string& text) { return Lowered(text).find(wanted) != std::wstring::npos; };
    m_shownRows.clear();
    for (std::size_t row = 0; row < m_index.size(); ++row)
        if (wanted.empty() || holds(m_texts[row]) || holds(KindText(m_index[row])))
            m_shownRows.push_back(row);
    // The list's row numbers now name other messages: no selection may carry over to them.
    ListView_SetItemState(m_list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemCountEx(m_list, static_cast<int>(m_shownRows.size()), 0);
    InvalidateRect(m_list, nullptr, TRUE);
    ShowSummary();
    UpdateButtons();
}

std::string CBankDialog::KindText(const BankMessage& message) const
{
    char command[8];
    std::snprintf(command, sizeof command, "%02X", message.command);
    return FormatPlaceholders(m_kindFormats[static_cast<int>(message.kind)],
                              {message.kind == Kind::DeviceMessage ? command : std::to_string(message.number)});
}

void CBankDialog::FormatCell(NMLVDISPINFOW& info)
{
    LVITEMW& item = info.item;
    if ((item.mask & LVIF_TEXT) == 0 || item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= m_shownRows.size())
        return;
    const std::size_t row = m_shownRows[static_cast<std::size_t>(item.iItem)];
    const BankMessage& message = m_index[row];
    std::string text;
    switch (item.iSubItem)
    {
    case 0: text = std::to_string(row + 1); break;
    case 1: text = KindText(message); break;
    case 2: text = message.deviceNumber > 0 ? std::to_string(message.deviceNumber) : ""; break;
    case 3: text = std::to_string(message.length); break;
    case TextColumn: text = m_texts[row]; break;
    default: text = FirstBytesHex(&m_bytes[message.offset], message.length, ShownBytes);
    }
    lstrcpynW(item.pszText, Widen(text).c_str(), item.cchTextMax);
}

std::vector<std::size_t> CBankDialog::SelectedRows() const
{
    std::vector<std::size_t> rows;
    for (int row = ListView_GetNextItem(m_list, -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(m_list, row, LVNI_SELECTED))
        rows.push_back(m_shownRows[static_cast<std::size_t>(row)]);
    return rows;
}

int CBankDialog::SingleRowOf(Kind first, Kind second) const
{
    if (ListView_GetSelectedCount(m_list) != 1)
        return -1;
    const int item = ListView_GetNextItem(m_list, -1, LVNI_SELECTED);
    if (item < 0)
        return -1;
    const std::size_t row = m_shownRows[static_cast<std::size_t>(item)];
    return m_index[row].kind == first || m_index[row].kind == second ? static_cast<int>(row) : -1;
}

void CBankDialog::UpdateButtons()
{
    const bool any = ListView_GetSelectedCount(m_list) > 0;
    EnableWindow(GetDlgItem(IDC_BANK_SEND_TO_SLOT), SingleRowOf(Kind::ProgramDump, Kind::ProgramDump) >= 0);
    EnableWindow(GetDlgItem(IDC_BANK_COMPARE), SingleRowOf(Kind::ProgramDump, Kind::AlgorithmDump) >= 0);
    EnableWindow(GetDlgItem(IDC_BANK_SEND), any);
    EnableWindow(GetDlgItem(IDC_BANK_SAVE_AS), any);
}

void CBankDialog::EnableControls(BOOL enable)
{
    EnableAllButCancel(enable, [this] { UpdateButtons(); });
}

std::vector<unsigned char> CBankDialog::RowBytes(const std::vector<std::size_t>& rows) const
{
    std::vector<unsigned char> bytes;
    for (std::size_t row : rows)
    {
        const auto first = m_bytes.begin() + static_cast<std::ptrdiff_t>(m_index[row].offset);
        bytes.insert(bytes.end(), first, first + static_cast<std::ptrdiff_t>(m_index[row].length));
    }
    return bytes;
}

std::string CBankDialog::RowName(std::size_t row) const
{
    return LoadResString(IDS_BANK_ROW_NAME, {std::to_string(row + 1), DisplayPath(FileNamePart(m_fileName))});
}

void CBankDialog::OnSendToSlot()
{
    const int row = SingleRowOf(Kind::ProgramDump, Kind::ProgramDump);
    if (row < 0)
        return;
    const std::vector<unsigned char> dump = RowBytes({static_cast<std::size_t>(row)});
    const std::string shown = RowName(static_cast<std::size_t>(row));
    CSlotDialog prompt(this);
    const int number = m_index[static_cast<std::size_t>(row)].number;
    prompt.m_slot = number <= 100 ? number : 1;
    if (prompt.DoModal() != IDOK || !CMainDialog::CheckDump(dump, shown, SysEx::ProgramDumpStampLength))
        return;
    const std::string sent = CMainDialog::SentDumpText(SysEx::ProgramDumpStampLength, dump, prompt.m_slot);
    const std::function<void()> compare = m_compareAfterSend ? CompareAfterSend(dump, prompt.m_slot) : nullptr;
    const auto status = [this](const std::string& text) {
        if (m_showStatus)
            m_showStatus(text);
    };
    status("");
    SendOverwriting(HistoryKind::Program, prompt.m_slot, dump, [status, sent, compare] {
        status(sent);
        if (compare)
            compare();
    });
}

void CBankDialog::OnSend()
{
    const std::vector<std::size_t> rows = SelectedRows();
    if (rows.empty() || !OutputIsFree())
        return;
    CBulkSendDialog send(this);
    send.m_fileName = m_fileName;
    send.m_bytes = RowBytes(rows);
    send.m_showStatus = m_showStatus;
    RunMidiDialog(send);
}

void CBankDialog::OnSaveAs()
{
    const std::vector<std::size_t> rows = SelectedRows();
    if (rows.empty())
        return;
    const Kind kind = m_index[rows.front()].kind;
    const char* name = rows.size() > 1            ? "BulkDump.syx"
                       : kind == Kind::ProgramDump   ? "ProgramDump.syx"
                       : kind == Kind::AlgorithmDump ? "AlgorithmDump.syx"
                                                     : "BulkDump.syx";
    CFileDialog choose(FALSE, "syx", name, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST, SysExFileFilter,
                       this);
    choose.m_title = LoadResString(IDS_BANK_SAVE_TITLE);
    if (choose.DoModal() != IDOK)
        return;
    const std::vector<unsigned char> bytes = RowBytes(rows);
    // A buffer of its own: a comparison's reply may arrive while the save asks the user.
    DumpBuffer rowsToSave;
    if (!rowsToSave.Init(static_cast<unsigned>(bytes.size()), MidiBufferSize) ||
        !rowsToSave.Append(bytes.data(), static_cast<unsigned>(bytes.size())))
    {
        rowsToSave.Free();
        AfxMessageBox(IDS_OUT_OF_MEMORY, MB_ERROR_BOX);
        return;
    }
    m_saveTarget = choose.GetPathName();
    // What a pending comparison does with its reply stays as it is.
    const auto replyAction = m_completionAction;
    std::string* replyTarget = std::exchange(m_targetFile, &m_saveTarget);
    m_saveFrom = &rowsToSave;
    SaveDumpToFile();
    m_saveFrom = nullptr;
    m_targetFile = replyTarget;
    m_completionAction = replyAction;
    rowsToSave.Free();
}

void CBankDialog::OnCompare()
{
    const int row = SingleRowOf(Kind::ProgramDump, Kind::AlgorithmDump);
    if (row < 0)
        return;
    const BankMessage& message = m_index[static_cast<std::size_t>(row)];
    CompareWithDevice(message.kind == Kind::ProgramDump ? HistoryKind::Program : HistoryKind::Algorithm,
                      message.number, RowBytes({static_cast<std::size_t>(row)}), KindText(message));
}

// Enter in the list sends one program row to a slot; Enter never closes the window.
void CBankDialog::OnOK()
{
    if (GetFocus() == m_list)
        OnSendToSlot();
}

BOOL CBankDialog::OnCommand(UINT id, UINT notifyCode)
{
    if (id == IDC_BANK_FIND && notifyCode == EN_CHANGE)
    {
        ApplyFind();
        return TRUE;
    }
    if (notifyCode != BN_CLICKED)
        return CMidiDialog::OnCommand(id, notifyCode);
    switch (id)
    {
    case IDC_BANK_SEND_TO_SLOT: OnSendToSlot(); return TRUE;
    case IDC_BANK_SEND: OnSend(); return TRUE;
    case IDC_BANK_SAVE_AS: OnSaveAs(); return TRUE;
    case IDC_BANK_COMPARE: OnCompare(); return TRUE;
    default: return CMidiDialog::OnCommand(id, notifyCode);
    }
}

INT_PTR CBankDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    if (m_anchors.OnMessage(message, lParam))
    {
        handled = true;
        return 0;
    }
    if (message != WM_NOTIFY || reinterpret_cast<const NMHDR*>(lParam)->idFrom != IDC_BANK_LIST)
        return CMidiDialog::OnMessage(message, wParam, lParam, handled);
    handled = true;
    const UINT code = reinterpret_cast<const NMHDR*>(lParam)->code;
    if (code == LVN_GETDISPINFOW)
        FormatCell(*reinterpret_cast<NMLVDISPINFOW*>(lParam));
    else if (code == LVN_ITEMCHANGED || code == LVN_ODSTATECHANGED)
        UpdateButtons();
    else if (code == LVN_KEYDOWN && reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey == 'A' &&
             GetKeyState(VK_CONTROL) < 0)
        ListView_SetItemState(m_list, -1, LVIS_SELECTED, LVIS_SELECTED);
    return 0;
}

void CBankDialog::OnDestroy()
{
    if (m_layout != nullptr && m_list != nullptr)
    {
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        GetWindowPlacement(m_hWnd, &placement);
        m_layout->width = placement.rcNormalPosition.right - placement.rcNormalPosition.left;
        m_layout->height = placement.rcNormalPosition.bottom - placement.rcNormalPosition.top;
        for (int column = 0; column < BankWindowLayout::ColumnCount; ++column)
            m_layout->columns[column] = ListView_GetColumnWidth(m_list, column);
    }
    CMidiDialog::OnDestroy();
}
