// Starts the program unpacked from the release archive and checks that it comes up with
// its main window, that is, that it found reseng.dll beside itself. Exit code 0 when it did.
#include <windows.h>

#include <cstdio>
#include <string>

#include "UiDriver.h"
#include "resources/resource.h"

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: package_start_check <path of SysExDump.exe>\n");
        return 2;
    }
    std::string exe = argv[1];
    std::string folder = exe.substr(0, exe.find_last_of("\\/"));
    std::string commandLine = "\"" + exe + "\"";

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process))
    {
        std::fprintf(stderr, "cannot start %s (error %lu)\n", exe.c_str(), GetLastError());
        return 1;
    }

    UiDriver ui(process.dwProcessId);
    HWND found = ui.WaitForDialog([](HWND window) {
        return UiDriver::HasControl(window, IDC_RECEIVE_PROGRAM) || UiDriver::IsMessageBox(window);
    });
    int result = 1;
    if (found != nullptr && UiDriver::HasControl(found, IDC_RECEIVE_PROGRAM))
    {
        std::printf("main window shown: the program found its resource module\n");
        ui.Press(found, IDCANCEL);
        result = 0;
    }
    else if (found != nullptr)
    {
        std::fprintf(stderr, "the program showed a message instead: %s\n", ui.Text(found, 0xFFFF).c_str());
        ui.Answer(found, IDOK);
    }
    else
    {
        std::fprintf(stderr, "no window appeared\n");
    }

    if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0)
    {
        std::fprintf(stderr, "the program did not end\n");
        TerminateProcess(process.hProcess, 3);
        result = 1;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}
