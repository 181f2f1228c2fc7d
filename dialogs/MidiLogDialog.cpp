#include "dialogs/MidiLogDialog.h"

#include <commctrl.h>

#include "dialogs/MidiLogText.h"
#include "framework/Controls.h"
#include "framework/FileDialog.h"
#include "framework/MessageBox.h"
#include "framework/SafeSave.h"
#include "framework/Strings.h"
#include "framework/Unicode.h"
#include "midi/MidiDialog.h"
#include "resources/resource.h"

namespace
{
constexpr UINT_PTR RefreshTimerId = 1;
constexpr UINT RefreshMs = 250;
constexpr int ColumnWidths[MidiLogColumnCount] = {40, 30, 80, 90, 30, 160};
// The rows take what the window grows by; the buttons keep to the bottom edge, Close to the corner.
constexpr ControlAnchor Anchors[] = {
    {IDC_LOG_SUMMARY, false, false, true, false},  {IDC_LOG_LIST, false, false, true, true},
    {IDC_LOG_COPY, false, true, false, false},     {IDC_LOG_SAVE, false, true, false, false},
    {IDC_LOG_SAVE_SYX, false, true, false, false}, {IDCANCEL, true, true, false, false},
};

std::string Grouped(std::size_t number)
{
    std::string text = std::to_string(number);
    for (int at = static_cast<int>(text.size()) - 3; at > 0; at -= 3)
        text.insert(static_cast<std::size_t>(at), ",");
    return text;
}
}

CMidiLogDialog::CMidiLogDialog() : CDialog(IDD_MIDI_LOG)
{
}

BOOL CMidiLogDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_list = GetDlgItem(IDC_LOG_LIST);
    // Time and size read best aligned right.
    AddListColumns(m_list, m_hWnd, IDS_LOG_COLUMN_BASE, ColumnWidths, MidiLogColumnCount, 1u << 0 | 1u << 4);
    m_anchors.Capture(m_hWnd, Anchors, std::size(Anchors));
    // Opened again, the window starts with an empty list that the first refresh fills.
    m_shownFirst = TheMidiLog().First();
    m_shownCount = 0;
    Refresh();
    SetTimer(m_hWnd, RefreshTimerId, RefreshMs, nullptr);
    return TRUE;
}

void CMidiLogDialog::Refresh()
{
    const MidiLog& log = TheMidiLog();
    const std::size_t first = log.First();
    const std::size_t count = log.Count();
    if (first == m_shownFirst && count == m_shownCount)
        return;
    const int top = ListView_GetTopIndex(m_list);
    const bool followsEnd = m_shownCount == 0 ||
                            static_cast<std::size_t>(top + ListView_GetCountPerPage(m_list)) >= m_shownCount;
    const bool moved = first != m_shownFirst || count < m_shownCount;
    // The list marks rows by position: when older rows are dropped the marks move up with the
    // rows they stand for, so that Copy and Save act on the rows the user chose.
    std::vector<int> selected;
    const int dropped = static_cast<int>(first >= m_shownFirst ? first - m_shownFirst : m_shownCount);
    // Nothing or everything selected stays so: moving every mark would cost a call a row.
    const UINT selectedCount = ListView_GetSelectedCount(m_list);
    const bool shiftSelection = moved && selectedCount > 0 && selectedCount < m_shownCount;
    if (shiftSelection)
        for (int item = ListView_GetNextItem(m_list, -1, LVNI_SELECTED); item >= 0;
             item = ListView_GetNextItem(m_list, item, LVNI_SELECTED))
            if (item >= dropped)
                selected.push_back(item - dropped);
    m_cachedIndex = NoRow;
    m_shownFirst = first;
    m_shownCount = count;
    ListView_SetItemCountEx(m_list, static_cast<int>(count), LVSICF_NOSCROLL | (moved ? 0 : LVSICF_NOINVALIDATEALL));
    if (shiftSelection)
    {
        ListView_SetItemState(m_list, -1, 0, LVIS_SELECTED);
        for (int item : selected)
            ListView_SetItemState(m_list, item, LVIS_SELECTED, LVIS_SELECTED);
    }
    if (followsEnd && count > 0)
        ListView_EnsureVisible(m_list, static_cast<int>(count - 1), FALSE);
    const std::string kept = Grouped(MidiLog::RowLimit);
    SetDlgItemText(IDC_LOG_SUMMARY, first == 0 ? LoadResString(IDS_LOG_SUMMARY, {Grouped(count), kept})
                                               : LoadResString(IDS_LOG_DROPPED, {Grouped(count), Grouped(first), kept}));
}

std::vector<MidiLogRow> CMidiLogDialog::SelectedRows() const
{
    std::vector<MidiLogRow> rows;
    MidiLogRow row;
    for (int item = ListView_GetNextItem(m_list, -1, LVNI_SELECTED); item >= 0;
         item = ListView_GetNextItem(m_list, item, LVNI_SELECTED))
        if (TheMidiLog().Row(m_shownFirst + static_cast<std::size_t>(item), row))
            rows.push_back(row);
    return rows;
}

std::string CMidiLogDialog::SelectedText() const
{
    std::string text;
    for (const MidiLogRow& row : SelectedRows())
        text += MidiLogLine(row) + "\r\n";
    return text;
}

void CMidiLogDialog::OnCopy()
{
    const std::wstring text = Widen(SelectedText());
    if (text.empty() || !OpenClipboard(m_hWnd))
        return;
    EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes))
    {
        memcpy(GlobalLock(block), text.c_str(), bytes);
        GlobalUnlock(block);
        if (SetClipboardData(CF_UNICODETEXT, block) == nullptr)
            GlobalFree(block);
    }
    CloseClipboard();
}

void CMidiLogDialog::OnSave()
{
    const std::string text = SelectedText();
    if (text.empty())
        return;
    const std::string filter = LoadResString(IDS_LOG_TEXT_FILTER);
    CFileDialog choose(FALSE, "txt", "MIDI log.txt", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST,
                       filter.c_str(), this);
    choose.m_title = LoadResString(IDS_LOG_SAVE_TITLE);
    if (choose.DoModal() == IDOK)
        SaveFileReplacing(choose.GetPathName(), text.data(), text.size());
}

// Only what came in, and only messages kept whole: a file must hold exactly the bytes received.
void CMidiLogDialog::OnSaveSyx()
{
    std::string bytes;
    std::size_t leftOut = 0;
    for (const MidiLogRow& row : SelectedRows())
    {
        // A row without F0 or F7 holds bytes outside a message or a message not ended.
        if (!row.input || row.event != MidiLogEvent::LongMessage || row.bytes.empty() || row.bytes.front() != 0xF0 ||
            (row.bytes.size() == row.size && row.bytes.back() != 0xF7))
            continue;
        if (row.bytes.size() < row.size)
            ++leftOut;
        else
            bytes.append(row.bytes.begin(), row.bytes.end());
    }
    if (bytes.empty())
    {
        AfxMessageBox(IDS_LOG_NOTHING_RECEIVED, MB_ERROR_BOX);
        return;
    }
    CFileDialog choose(FALSE, "syx", "Received.syx", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST,
                       SysExFileFilter, this);
    choose.m_title = LoadResString(IDS_LOG_SAVE_SYX_TITLE);
    if (choose.DoModal() != IDOK || !SaveFileReplacing(choose.GetPathName(), bytes.data(), bytes.size()))
        return;
    if (leftOut > 0)
        AfxMessageBox(IDS_LOG_SYX_LEFT_OUT, {std::to_string(leftOut)}, MB_ERROR_BOX);
}

// Enter in the list does not close the window.
void CMidiLogDialog::OnOK()
{
}

void CMidiLogDialog::OnCancel()
{
    DestroyWindow(m_hWnd);
}

BOOL CMidiLogDialog::OnCommand(UINT id, UINT notifyCode)
{
    if (notifyCode != BN_CLICKED)
        return CDialog::OnCommand(id, notifyCode);
    switch (id)
    {
    case IDC_LOG_COPY: OnCopy(); return TRUE;
    case IDC_LOG_SAVE: OnSave(); return TRUE;
    case IDC_LOG_SAVE_SYX: OnSaveSyx(); return TRUE;
    default: return CDialog::OnCommand(id, notifyCode);
    }
}

void CMidiLogDialog::OnTimer(UINT_PTR id)
{
    if (id == RefreshTimerId)
        Refresh();
}

INT_PTR CMidiLogDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    if (m_anchors.OnMessage(message, lParam))
    {
        handled = true;
        return 0;
    }
    if (message != WM_NOTIFY || reinterpret_cast<const NMHDR*>(lParam)->idFrom != IDC_LOG_LIST)
        return CDialog::OnMessage(message, wParam, lParam, handled);
    handled = true;
    const NMHDR& notice = *reinterpret_cast<const NMHDR*>(lParam);
    if (notice.code == LVN_GETDISPINFOW)
    {
        LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(lParam)->item;
        const std::size_t index = m_shownFirst + static_cast<std::size_t>(item.iItem);
        // The list asks for a row's cells one after the other: the row is copied once.
        if (index != m_cachedIndex)
            m_cachedIndex = TheMidiLog().Row(index, m_cachedRow) ? index : NoRow;
        if ((item.mask & LVIF_TEXT) != 0 && item.iItem >= 0 && m_cachedIndex == index)
            lstrcpynW(item.pszText, Widen(MidiLogCell(m_cachedRow, item.iSubItem)).c_str(), item.cchTextMax);
    }
    else if (notice.code == LVN_KEYDOWN && GetKeyState(VK_CONTROL) < 0)
    {
        const WORD key = reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey;
        if (key == 'A')
        {
            ListView_SetItemState(m_list, -1, LVIS_SELECTED, LVIS_SELECTED);
        }
        else if (key == 'C')
        {
            OnCopy();
        }
    }
    return 0;
}
