#include "app/DumpApp.h"

#include "app/DumpSettings.h"
#include "dialogs/MainDialog.h"
#include "framework/MessageBox.h"
#include "midi/MidiPortState.h"
#include "resources/resource.h"

BOOL CDumpApp::InitInstance()
{
    // A bare name: the platform looks in the executable's folder first.
    HINSTANCE module = LoadLibraryA("reseng.dll");
    if (module == nullptr)
    {
        AfxMessageBox(std::string("Error loading resource DLL!"), MB_OK | MB_ICONEXCLAMATION);
        return FALSE;
    }
    HINSTANCE previousResources = AfxGetResourceHandle();
    AfxSetResourceHandle(module);

    // Without its buffers no transfer could run: say so and end in order.
    if (!AllocateMidiBuffers())
    {
        AfxMessageBox(IDS_OUT_OF_MEMORY, MB_ERROR_BOX);
        FreeMidiBuffers();
        AfxSetResourceHandle(previousResources);
        FreeLibrary(module);
        return FALSE;
    }

    {
        CDumpSettings settings(m_settingsKey);
        CMainDialog mainWindow;
        settings.Keep(mainWindow);
        SetCurrentMidiWindow(&mainWindow);
        m_pMainWnd = &mainWindow;
        mainWindow.DoModal();
        SetCurrentMidiWindow(nullptr);
        m_pMainWnd = nullptr;
    }

    FreeMidiBuffers();
    AfxSetResourceHandle(previousResources);
    FreeLibrary(module);
    return FALSE;
}
