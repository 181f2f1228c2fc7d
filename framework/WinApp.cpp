#include "framework/WinApp.h"

#include <commctrl.h>

#include "framework/Dialog.h"
#include "framework/Unicode.h"

namespace
{
CWinApp* g_app = nullptr;
HINSTANCE g_resourceHandle = nullptr;

std::string ModulePath()
{
    wchar_t path[32768] = {};
    GetModuleFileNameW(nullptr, path, 32768);
    return Narrow(path);
}
}

CWinApp::CWinApp()
{
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return FALSE;
}

void CWinApp::OnHelp()
{
    HWND owner = nullptr;
    WinHelpW(owner, Widen(m_helpFilePath).c_str(), HELP_FINDER, 0);
}

CWinApp* AfxGetApp()
{
    return g_app;
}

HWND AfxGetActiveOwner()
{
    if (g_app == nullptr || g_app->m_pMainWnd == nullptr || g_app->m_pMainWnd->GetSafeHwnd() == nullptr)
        return nullptr;
    return GetLastActivePopup(g_app->m_pMainWnd->GetSafeHwnd());
}

HINSTANCE AfxGetResourceHandle()
{
    return g_resourceHandle;
}

void AfxSetResourceHandle(HINSTANCE module)
{
    g_resourceHandle = module;
}

bool AfxInitApp(HINSTANCE instance)
{
    CWinApp* app = AfxGetApp();
    if (app == nullptr)
        return false;

    // Without this, up-down and tooltip controls do not exist on Windows.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_UPDOWN_CLASS | ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    app->m_hInstance = instance;
    g_resourceHandle = instance;
    const std::string path = ModulePath();
    const size_t nameStart = path.find_last_of("\\/:") + 1;
    const size_t dot = path.find_last_of('.');
    app->m_title = path.substr(nameStart, dot == std::string::npos || dot < nameStart ? std::string::npos
                                                                                      : dot - nameStart);
    app->m_helpFilePath = path.substr(0, dot == std::string::npos ? path.size() : dot) + ".HLP";

    return true;
}

int AfxWinMain(HINSTANCE instance)
{
    if (!AfxInitApp(instance))
        return 1;
    AfxGetApp()->InitInstance();
    return 0;
}
