#include "framework/Dialog.h"

#include <algorithm>
#include <vector>

#include "framework/DataExchange.h"
#include "framework/Unicode.h"
#include "framework/WinApp.h"

namespace
{
std::function<void(CDialog&)> g_modalStartHook;
bool g_createHidden = false;
std::vector<CDialog*> g_modeless;

BOOL PreTranslateModeless(MSG* message)
{
    for (CDialog* dialog : g_modeless)
        if (dialog->PreTranslateMessage(message))
            return TRUE;
    return FALSE;
}

// A copy of a dialog template, with WS_VISIBLE cleared when dialogs run hidden.
std::vector<BYTE> LoadTemplate(UINT templateId)
{
    HINSTANCE module = AfxGetResourceHandle();
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(templateId), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    if (resource == nullptr)
        return {};
    HGLOBAL loaded = LoadResource(module, resource);
    const BYTE* bytes = static_cast<const BYTE*>(LockResource(loaded));
    if (bytes == nullptr)
        return {};
    std::vector<BYTE> copy(bytes, bytes + SizeofResource(module, resource));
    if (g_createHidden && copy.size() >= 12)
    {
        // DLGTEMPLATEEX starts with dlgVer 1 and signature 0xFFFF; its style is at offset 12.
        const bool extended = copy[0] == 1 && copy[1] == 0 && copy[2] == 0xFF && copy[3] == 0xFF;
        DWORD* style = reinterpret_cast<DWORD*>(copy.data() + (extended ? 12 : 0));
        *style &= ~WS_VISIBLE;
    }
    return copy;
}
}

void DiscardTypedAhead()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE))
    {
    }
}

CDialog::CDialog(UINT templateId, CDialog* parent)
    : m_pParentWnd(parent), m_templateId(templateId)
{
}

CDialog::~CDialog()
{
    if (m_hWnd != nullptr)
        DestroyWindow(m_hWnd);
}

void CDialog::SetModalStartHook(std::function<void(CDialog&)> hook)
{
    g_modalStartHook = std::move(hook);
}

void CDialog::SetCreateHidden(bool hidden)
{
    g_createHidden = hidden;
}

HWND CDialog::OwnerWindow() const
{
    if (m_pParentWnd != nullptr)
        return m_pParentWnd->m_hWnd;
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->m_pMainWnd != nullptr && app->m_pMainWnd != this)
        return app->m_pMainWnd->m_hWnd;
    return nullptr;
}

INT_PTR CDialog::DoModal()
{
    std::vector<BYTE> dialogTemplate = LoadTemplate(m_templateId);
    if (dialogTemplate.empty())
        return -1;

    HWND owner = OwnerWindow();
    const bool ownerWasEnabled = owner != nullptr && IsWindowEnabled(owner);
    m_ending = false;
    m_result = -1;
    // A Unicode window, so that typed text and every name reach the program whole.
    HWND window = CreateDialogIndirectParamW(AfxGetResourceHandle(),
                                             reinterpret_cast<LPCDLGTEMPLATEW>(dialogTemplate.data()), owner,
                                             DialogProc, reinterpret_cast<LPARAM>(this));
    if (window == nullptr)
        return -1;
    if (ownerWasEnabled)
        EnableWindow(owner, FALSE);
    DiscardTypedAhead();

    if (!m_ending && g_modalStartHook)
        g_modalStartHook(*this);

    MSG message;
    while (!m_ending)
    {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0)
        {
            // WM_QUIT belongs to an outer loop; pass it on after ending this one.
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (got == -1)
            break;
        if (!PreTranslateModeless(&message) && !PreTranslateMessage(&message))
        {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    if (ownerWasEnabled)
        EnableWindow(owner, TRUE);
    if (m_hWnd != nullptr)
    {
        SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
        if (owner != nullptr && GetActiveWindow() == m_hWnd)
            SetActiveWindow(owner);
        DestroyWindow(m_hWnd);
    }
    return m_result;
}

BOOL CDialog::Create()
{
    std::vector<BYTE> dialogTemplate = LoadTemplate(m_templateId);
    if (dialogTemplate.empty() || m_hWnd != nullptr)
        return FALSE;
    // No owner: a box shown for the main window is never owned by this one, and it stays
    // usable while the main window waits for a modal dialog.
    if (CreateDialogIndirectParamW(AfxGetResourceHandle(), reinterpret_cast<LPCDLGTEMPLATEW>(dialogTemplate.data()),
                                   nullptr, DialogProc, reinterpret_cast<LPARAM>(this)) == nullptr)
        return FALSE;
    g_modeless.push_back(this);
    return TRUE;
}

void CDialog::EndDialog(int result)
{
    m_result = result;
    m_ending = true;
    // Wakes the modal loop if it waits in GetMessage.
    if (m_hWnd != nullptr)
        PostMessageA(m_hWnd, WM_NULL, 0, 0);
}

BOOL CDialog::PreTranslateMessage(MSG* message)
{
    if (m_hWnd == nullptr)
        return FALSE;
    if (message->hwnd != m_hWnd && !IsChild(m_hWnd, message->hwnd))
        return FALSE;
    return IsDialogMessageW(m_hWnd, message);
}

HWND CDialog::GetDlgItem(int id) const
{
    return ::GetDlgItem(m_hWnd, id);
}

std::string CDialog::GetDlgItemText(int id) const
{
    HWND control = GetDlgItem(id);
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(control, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return Narrow(text);
}

void CDialog::SetDlgItemText(int id, const std::string& text)
{
    ::SetDlgItemTextW(m_hWnd, id, Widen(text).c_str());
}

void CDialog::SetDlgItemInt(int id, UINT value)
{
    ::SetDlgItemInt(m_hWnd, id, value, FALSE);
}

void CDialog::GotoDlgCtrl(HWND control)
{
    SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return dx.Failed() ? FALSE : TRUE;
}

void CDialog::DoDataExchange(CDataExchange*)
{
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::OnCommand(UINT id, UINT)
{
    switch (id)
    {
    case IDOK:
        OnOK();
        return TRUE;
    case IDCANCEL:
        OnCancel();
        return TRUE;
    case 57670: // ID_HELP
        if (AfxGetApp() != nullptr)
            AfxGetApp()->OnHelp();
        return TRUE;
    default:
        return FALSE;
    }
}

void CDialog::OnTimer(UINT_PTR)
{
}

BOOL CDialog::OnSysCommand(UINT, LPARAM)
{
    return FALSE;
}

BOOL CDialog::OnPaint()
{
    return FALSE;
}

HICON CDialog::OnQueryDragIcon()
{
    return nullptr;
}

INT_PTR CDialog::OnMessage(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    return 0;
}

void CDialog::OnDestroy()
{
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CDialog* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (message == WM_INITDIALOG)
    {
        dialog = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        dialog->m_hWnd = window;
    }
    if (dialog == nullptr)
        return FALSE;
    return dialog->HandleMessage(message, wParam, lParam);
}

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam));
    case WM_TIMER:
        OnTimer(wParam);
        return TRUE;
    case WM_SYSCOMMAND:
        return OnSysCommand(static_cast<UINT>(wParam), lParam);
    case WM_PAINT:
        return OnPaint();
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
    case WM_DESTROY:
        if (m_onDestroy)
            m_onDestroy();
        OnDestroy();
        return FALSE;
    case WM_NCDESTROY:
    {
        CWinApp* app = AfxGetApp();
        if (app != nullptr && app->m_pMainWnd == this)
            app->m_pMainWnd = nullptr;
        g_modeless.erase(std::remove(g_modeless.begin(), g_modeless.end(), this), g_modeless.end());
        SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
        m_hWnd = nullptr;
        return FALSE;
    }
    default:
    {
        bool handled = false;
        const INT_PTR result = OnMessage(message, wParam, lParam, handled);
        if (handled)
            SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
        return handled ? TRUE : FALSE;
    }
    }
}
