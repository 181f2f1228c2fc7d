// Entry of every in-process test executable: the application object, the resource module
// and hidden dialogs, as the program has them at start-up.
#include <gtest/gtest.h>

#include <cstdio>

#include "app/DumpApp.h"
#include "support/CrashGuard.h"
#include "framework/Dialog.h"
#include "framework/WinApp.h"

CDumpApp theApp;

int main(int argc, char** argv)
{
    InstallCrashGuard();
    testing::InitGoogleTest(&argc, argv);
    AfxInitApp(GetModuleHandleA(nullptr));
    HINSTANCE module = LoadLibraryA("reseng.dll");
    if (module == nullptr)
    {
        std::fprintf(stderr, "reseng.dll not found beside the test executable\n");
        return 2;
    }
    AfxSetResourceHandle(module);
    CDialog::SetCreateHidden(true);
    const int result = RUN_ALL_TESTS();
    FreeLibrary(module);
    return result;
}
