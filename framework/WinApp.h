#pragma once
#include <windows.h>

#include <string>

class CDialog;

// The application object: one static instance per program. Its start-up hook runs the
// whole program; the title (the executable's name without extension) captions every box.
class CWinApp
{
public:
    CWinApp();
    virtual ~CWinApp();

    virtual BOOL InitInstance();
    // The framework's Help command: opens the help file next to the executable.
    virtual void OnHelp();

    const std::string& Title() const { return m_title; }

    HINSTANCE m_hInstance = nullptr;
    CDialog* m_pMainWnd = nullptr;

private:
    friend bool AfxInitApp(HINSTANCE instance);
    std::string m_title;
    std::string m_helpFilePath;
};

CWinApp* AfxGetApp();
// The window a message box or a file dialog belongs to and is modal to: the main window's
// last active popup, so that the window the user works in cannot be used behind it.
HWND AfxGetActiveOwner();
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE module);

// Prepares the application object: title, help path, common controls.
bool AfxInitApp(HINSTANCE instance);
// AfxInitApp, then the start-up hook. Returns the process exit code.
int AfxWinMain(HINSTANCE instance);
