#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

class CDialog;

// Shows an unsigned number as a control's text.
void SetWindowTextUnsigned(HWND control, unsigned value);

// A report list's columns: each title is string `firstTitle` + column, each width in dialog
// units of `dialog`; the columns whose bit is set in `rightAligned` are aligned right.
void AddListColumns(HWND list, HWND dialog, UINT firstTitle, const int* widths, int count, unsigned rightAligned = 0);
// Appends a row of cell texts to a report list; returns its index.
int AddListRow(HWND list, const std::vector<std::string>& cells);

// Thin wrappers over a control window that the dialog owns.
class CWndControl
{
public:
    void Attach(HWND window) { m_hWnd = window; }
    HWND m_hWnd = nullptr;
};

class CSpinButtonCtrl : public CWndControl
{
public:
    void SetRange(int lower, int upper);
    void GetRange(int& lower, int& upper) const;
    BOOL SetAccel(int count, UDACCEL* accelerations);
    int GetPos() const;
};

class CComboBox : public CWndControl
{
public:
    void ResetContent();
    int AddString(const std::string& text);
    int SetCurSel(int index);
    int GetCurSel() const;
    int GetCount() const;
    std::string GetLBText(int index) const;
    // Every entry's text, in list order.
    std::vector<std::string> Entries() const;
};

class CToolTipCtrl : public CWndControl
{
public:
    ~CToolTipCtrl();
    // A pop-up owned by the dialog: tips show only while the dialog is active.
    BOOL Create(CDialog* owner);
    void Activate(BOOL activate);
    // The tool is the control's own window; its text is fetched from string `textId` of
    // the resource module whenever the tip shows.
    BOOL AddTool(HWND control, UINT textId);
    void RelayEvent(MSG* message);
    int GetToolCount() const;

private:
    HWND m_owner = nullptr;
};
