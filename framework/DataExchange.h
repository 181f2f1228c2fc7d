#pragma once
#include <windows.h>

#include <string>

class CDialog;
class CWndControl;

// One pass of data exchange between a dialog's controls and its members. The first
// refused field ends the pass: it gets the focus with its whole text selected, and every
// later DDX/DDV call of the pass does nothing.
class CDataExchange
{
public:
    CDataExchange(CDialog* dialog, BOOL saveAndValidate);

    HWND PrepareCtrl(int id);
    HWND PrepareEditCtrl(int id);
    void Fail();
    bool Failed() const { return m_failed; }
    HWND LastControl() const { return m_lastControl; }

    BOOL m_bSaveAndValidate;
    CDialog* m_pDlgWnd;

private:
    HWND m_lastControl = nullptr;
    bool m_lastIsEdit = false;
    bool m_failed = false;
};

// Decimal integer as the framework reads it: at most the first 31 characters; blanks or
// tabs, an optional sign, digits, blanks or tabs, nothing else; a zero only when its
// first non-blank character is the digit 0.
bool ParseDialogInteger(const std::string& text, int& value);

void DDX_Text(CDataExchange* dx, int id, int& value);
void DDX_Text(CDataExchange* dx, int id, std::string& value);
void DDV_MinMaxInt(CDataExchange* dx, int value, int minimum, int maximum);
void DDV_MaxChars(CDataExchange* dx, const std::string& value, int maximum);
void DDX_Control(CDataExchange* dx, int id, CWndControl& control);
// Selected position of a combo box; -1 when none.
void DDX_CBIndex(CDataExchange* dx, int id, int& index);
// Index of the checked button in the radio group that starts at `id`; -1 when none.
void DDX_Radio(CDataExchange* dx, int id, int& index);
// A check box: TRUE when it is checked.
void DDX_Check(CDataExchange* dx, int id, BOOL& value);
