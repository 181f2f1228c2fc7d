#include "framework/Controls.h"

#include <cstdio>

#include "framework/Dialog.h"
#include "framework/Strings.h"
#include "framework/Unicode.h"
#include "framework/WinApp.h"

void AddListColumns(HWND list, HWND dialog, UINT firstTitle, const int* widths, int count, unsigned rightAligned)
{
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    for (int column = 0; column < count; ++column)
    {
        RECT units{0, 0, widths[column], 0};
        MapDialogRect(dialog, &units);
        const std::wstring title = Widen(LoadResString(firstTitle + column));
        LVCOLUMNW header{};
        header.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        header.fmt = (rightAligned >> column) & 1 ? LVCFMT_RIGHT : LVCFMT_LEFT;
        header.cx = units.right;
        header.pszText = const_cast<wchar_t*>(title.c_str());
        SendMessageW(list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&header));
    }
}

int AddListRow(HWND list, const std::vector<std::string>& cells)
{
    const int row = ListView_GetItemCount(list);
    for (std::size_t column = 0; column < cells.size(); ++column)
    {
        const std::wstring text = Widen(cells[column]);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.iSubItem = static_cast<int>(column);
        item.pszText = const_cast<wchar_t*>(text.c_str());
        SendMessageW(list, column == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    }
    return row;
}

void CSpinButtonCtrl::SetRange(int lower, int upper)
{
    SendMessageA(m_hWnd, UDM_SETRANGE, 0, MAKELPARAM(upper, lower));
}

void CSpinButtonCtrl::GetRange(int& lower, int& upper) const
{
    const LRESULT range = SendMessageA(m_hWnd, UDM_GETRANGE, 0, 0);
    lower = static_cast<short>(HIWORD(range));
    upper = static_cast<short>(LOWORD(range));
}

BOOL CSpinButtonCtrl::SetAccel(int count, UDACCEL* accelerations)
{
    return static_cast<BOOL>(SendMessageA(m_hWnd, UDM_SETACCEL, count, reinterpret_cast<LPARAM>(accelerations)));
}

int CSpinButtonCtrl::GetPos() const
{
    return static_cast<short>(LOWORD(SendMessageA(m_hWnd, UDM_GETPOS, 0, 0)));
}

void CComboBox::ResetContent()
{
    SendMessageA(m_hWnd, CB_RESETCONTENT, 0, 0);
}

int CComboBox::AddString(const std::string& text)
{
    const std::wstring wide = Widen(text);
    return static_cast<int>(SendMessageW(m_hWnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str())));
}

int CComboBox::SetCurSel(int index)
{
    return static_cast<int>(SendMessageA(m_hWnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0));
}

int CComboBox::GetCurSel() const
{
    return static_cast<int>(SendMessageA(m_hWnd, CB_GETCURSEL, 0, 0));
}

int CComboBox::GetCount() const
{
    return static_cast<int>(SendMessageA(m_hWnd, CB_GETCOUNT, 0, 0));
}

std::vector<std::string> CComboBox::Entries() const
{
    std::vector<std::string> entries;
    for (int i = 0; i < GetCount(); ++i)
        entries.push_back(GetLBText(i));
    return entries;
}

std::string CComboBox::GetLBText(int index) const
{
    const LRESULT length = SendMessageW(m_hWnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(m_hWnd, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(length));
    return Narrow(text);
}

CToolTipCtrl::~CToolTipCtrl()
{
    if (m_hWnd != nullptr && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
}

BOOL CToolTipCtrl::Create(CDialog* owner)
{
    m_owner = owner->GetSafeHwnd();
    m_hWnd = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, m_owner, nullptr, GetModuleHandleW(nullptr), nullptr);
    return m_hWnd != nullptr;
}

void CToolTipCtrl::Activate(BOOL activate)
{
    SendMessageA(m_hWnd, TTM_ACTIVATE, activate, 0);
}

BOOL CToolTipCtrl::AddTool(HWND control, UINT textId)
{
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE; // understood by every common-controls version
    tool.uFlags = TTF_IDISHWND;
    tool.hwnd = m_owner;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.hinst = AfxGetResourceHandle();
    tool.lpszText = MAKEINTRESOURCEW(textId);
    return static_cast<BOOL>(SendMessageW(m_hWnd, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)));
}

void CToolTipCtrl::RelayEvent(MSG* message)
{
    SendMessageA(m_hWnd, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(message));
}

int CToolTipCtrl::GetToolCount() const
{
    return static_cast<int>(SendMessageA(m_hWnd, TTM_GETTOOLCOUNT, 0, 0));
}

void SetWindowTextUnsigned(HWND control, unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u", value);
    SetWindowTextA(control, text);
}
