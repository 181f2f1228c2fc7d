#include "framework/MessageBox.h"

#include "framework/Dialog.h"
#include "framework/Strings.h"
#include "framework/WinApp.h"

namespace
{
MessageBoxHook g_hook;
}

void SetMessageBoxHook(MessageBoxHook hook)
{
    g_hook = std::move(hook);
}

int AfxMessageBox(const std::string& text, UINT type, UINT helpContext)
{
    if (g_hook)
        return g_hook(MessageBoxRequest{text, type, helpContext});

    CWinApp* app = AfxGetApp();
    HWND owner = nullptr;
    if (app != nullptr && app->m_pMainWnd != nullptr)
        owner = GetLastActivePopup(app->m_pMainWnd->GetSafeHwnd());
    const std::string caption = app != nullptr ? app->Title() : std::string();

    MSGBOXPARAMSA params{};
    params.cbSize = sizeof params;
    params.hwndOwner = owner;
    params.lpszText = text.c_str();
    params.lpszCaption = caption.c_str();
    params.dwStyle = type;
    params.dwContextHelpId = helpContext;
    return MessageBoxIndirectA(&params);
}

int AfxMessageBox(UINT promptId, UINT type, UINT helpContext)
{
    return AfxMessageBox(LoadResString(promptId), type, helpContext == UINT(-1) ? promptId : helpContext);
}

int AfxFileMessageBox(UINT textId, const std::string& fileName)
{
    return AfxMessageBox(LoadResString(textId) + fileName + "!", MB_ERROR_BOX);
}
