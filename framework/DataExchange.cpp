#include "framework/DataExchange.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "framework/Unicode.h"
#include "resources/resource.h"

CDataExchange::CDataExchange(CDialog* dialog, BOOL saveAndValidate)
    : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog)
{
}

HWND CDataExchange::PrepareCtrl(int id)
{
    m_lastControl = m_pDlgWnd->GetDlgItem(id);
    m_lastIsEdit = false;
    return m_lastControl;
}

HWND CDataExchange::PrepareEditCtrl(int id)
{
    HWND control = PrepareCtrl(id);
    m_lastIsEdit = true;
    return control;
}

void CDataExchange::Fail()
{
    m_failed = true;
    if (!m_bSaveAndValidate || m_lastControl == nullptr)
        return;
    SetFocus(m_lastControl);
    if (m_lastIsEdit)
        SendMessageA(m_lastControl, EM_SETSEL, 0, -1);
}

bool ParseDialogInteger(const std::string& text, int& value)
{
    const std::string window = text.substr(0, 31);
    const char* p = window.c_str();
    while (*p == ' ' || *p == '\t')
        ++p;
    const char first = *p;
    char* end = nullptr;
    errno = 0;
    long parsed = std::strtol(p, &end, 10);
    if (parsed == 0 && first != '0')
        return false;
    while (*end == ' ' || *end == '\t')
        ++end;
    if (*end != '\0')
        return false;
    // Beyond the int range it saturates, so the range check refuses it.
    if (parsed > INT_MAX)
        parsed = INT_MAX;
    if (parsed < INT_MIN)
        parsed = INT_MIN;
    value = static_cast<int>(parsed);
    return true;
}

void DDX_Text(CDataExchange* dx, int id, int& value)
{
    if (dx->Failed())
        return;
    HWND control = dx->PrepareEditCtrl(id);
    if (!dx->m_bSaveAndValidate)
    {
        dx->m_pDlgWnd->SetDlgItemText(id, std::to_string(value));
        return;
    }
    wchar_t text[32] = {};
    GetWindowTextW(control, text, 32);
    if (!ParseDialogInteger(Narrow(text), value))
    {
        AfxMessageBox(AFX_IDP_PARSE_INT);
        dx->Fail();
    }
}

void DDX_Text(CDataExchange* dx, int id, std::string& value)
{
    if (dx->Failed())
        return;
    dx->PrepareEditCtrl(id);
    if (dx->m_bSaveAndValidate)
        value = dx->m_pDlgWnd->GetDlgItemText(id);
    else
        dx->m_pDlgWnd->SetDlgItemText(id, value);
}

void DDV_MinMaxInt(CDataExchange* dx, int value, int minimum, int maximum)
{
    if (dx->Failed() || !dx->m_bSaveAndValidate)
        return;
    if (value >= minimum && value <= maximum)
        return;
    const std::string prompt =
        LoadResString(AFX_IDP_PARSE_INT_RANGE, {std::to_string(minimum), std::to_string(maximum)});
    AfxMessageBox(prompt, MB_ERROR_BOX, AFX_IDP_PARSE_INT_RANGE);
    dx->Fail();
}

void DDV_MaxChars(CDataExchange* dx, const std::string& value, int maximum)
{
    if (dx->Failed())
        return;
    if (!dx->m_bSaveAndValidate)
    {
        // The field accepts no more than that from the keyboard.
        SendMessageA(dx->LastControl(), EM_LIMITTEXT, maximum, 0);
        return;
    }
    if (static_cast<int>(CharacterCount(value)) <= maximum)
        return;
    const std::string prompt = LoadResString(AFX_IDP_PARSE_STRING_SIZE, {std::to_string(maximum)});
    AfxMessageBox(prompt, MB_ERROR_BOX, AFX_IDP_PARSE_STRING_SIZE);
    dx->Fail();
}

void DDX_Control(CDataExchange* dx, int id, CWndControl& control)
{
    if (dx->Failed())
        return;
    if (control.m_hWnd == nullptr)
        control.Attach(dx->PrepareCtrl(id));
}

void DDX_CBIndex(CDataExchange* dx, int id, int& index)
{
    if (dx->Failed())
        return;
    HWND combo = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate)
        index = static_cast<int>(SendMessageA(combo, CB_GETCURSEL, 0, 0));
    else
        SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void DDX_Radio(CDataExchange* dx, int id, int& index)
{
    if (dx->Failed())
        return;
    HWND button = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate)
        index = -1;
    // Walk the group: from the first button up to the next control that starts a group.
    for (int position = 0; button != nullptr; ++position)
    {
        if (position > 0 && (GetWindowLongA(button, GWL_STYLE) & WS_GROUP))
            break;
        if (SendMessageA(button, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON)
        {
            if (dx->m_bSaveAndValidate)
            {
                if (SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED)
                    index = position;
            }
            else
            {
                SendMessageA(button, BM_SETCHECK, position == index ? BST_CHECKED : BST_UNCHECKED, 0);
            }
        }
        button = GetWindow(button, GW_HWNDNEXT);
    }
}

void DDX_Check(CDataExchange* dx, int id, BOOL& value)
{
    if (dx->Failed())
        return;
    HWND box = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate)
        value = SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
    else
        SendMessageA(box, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
}
