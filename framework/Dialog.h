#pragma once
#include <windows.h>

#include <functional>
#include <string>

class CDataExchange;

// Keys typed before a dialog or box appeared were meant for the window that was there: they
// are dropped, so that a repeated Enter cannot press a button nobody has read yet.
void DiscardTypedAhead();

// A modal dialog built from a template of the current resource module. The modal run is
// the framework's own loop, so that every message passes PreTranslateMessage first.
class CDialog
{
public:
    explicit CDialog(UINT templateId, CDialog* parent = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // 1 for OK, 2 for Cancel, the EndDialog value otherwise; -1 when the dialog cannot be made.
    INT_PTR DoModal();
    // A modeless window of the template, shown beside the others; FALSE when it cannot be
    // made. Every modal loop hands it its keyboard first, so Tab and mnemonics work in it
    // while any dialog runs. It goes away with DestroyWindow (or the object).
    BOOL Create();
    void EndDialog(int result);
    bool IsEnding() const { return m_ending; }

    HWND GetSafeHwnd() const { return m_hWnd; }
    UINT TemplateId() const { return m_templateId; }
    HWND GetDlgItem(int id) const;
    std::string GetDlgItemText(int id) const;
    void SetDlgItemText(int id, const std::string& text);
    void SetDlgItemInt(int id, UINT value);
    // Moves the keyboard focus the way the dialog manager does (default button, selection).
    void GotoDlgCtrl(HWND control);

    // Reads (TRUE) or fills (FALSE) the controls; FALSE when a field was refused.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    virtual void DoDataExchange(CDataExchange* dx);
    virtual BOOL PreTranslateMessage(MSG* message);

    // Runs when the window is about to go away, while its controls still show what the
    // user left in them.
    std::function<void()> m_onDestroy;

    // Tests see every dialog that starts its modal run, after its initialisation.
    static void SetModalStartHook(std::function<void(CDialog&)> hook);
    // Tests run dialogs without showing them.
    static void SetCreateHidden(bool hidden);

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    // Command dispatch: TRUE when handled. The base handles OK, Cancel and Help.
    virtual BOOL OnCommand(UINT id, UINT notifyCode);
    virtual void OnTimer(UINT_PTR id);
    // TRUE when handled; otherwise the platform's default runs.
    virtual BOOL OnSysCommand(UINT id, LPARAM lParam);
    virtual BOOL OnPaint();
    virtual HICON OnQueryDragIcon();
    // Any other message; set `handled` to take it.
    virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    // The window is about to go away (it still exists).
    virtual void OnDestroy();

    HWND m_hWnd = nullptr;
    CDialog* m_pParentWnd = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    HWND OwnerWindow() const;

    UINT m_templateId;
    bool m_ending = false;
    int m_result = 0;
};
