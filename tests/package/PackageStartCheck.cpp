// Starts the program as a user's copy has it and checks that it comes up with its main
// window, that is, that it found reseng.dll beside itself. Exit code 0 when it did. With
// "hold", keeps it running until a line comes on the standard input (so that a script can
// try to update a running copy).
#include <chrono>
#include <cstdio>
#include <string>

#include "DemoProcess.h"
#include "UiDriver.h"
#include "resources/resource.h"

int main(int argc, char** argv)
{
    if (argc != 2 && !(argc == 3 && std::string(argv[2]) == "hold"))
    {
        std::fprintf(stderr, "usage: package_start_check <path of SysExDump.exe> [hold]\n");
        return 2;
    }
    const std::string exe = argv[1];
    DemoProcess program;
    if (!program.Start(exe, exe.substr(0, exe.find_last_of("\\/"))))
    {
        std::fprintf(stderr, "cannot start %s (error %lu)\n", exe.c_str(), GetLastError());
        return 1;
    }
    const UiDriver ui(program.Id());
    HWND found = ui.WaitForDialog([](HWND window) {
        return UiDriver::HasControl(window, IDC_RECEIVE_PROGRAM) || UiDriver::IsMessageBox(window);
    });
    if (found == nullptr)
    {
        std::fprintf(stderr, "no window appeared\n");
        return 1;
    }
    const bool started = UiDriver::HasControl(found, IDC_RECEIVE_PROGRAM);
    if (started)
    {
        std::printf("main window shown: the program found its resource module\n");
        std::fflush(stdout);
        if (argc == 3)
            std::getchar();
    }
    else
        std::fprintf(stderr, "the program showed a message instead: %s\n", ui.WaitForMessageBox().text.c_str());
    ui.Press(found, started ? IDCANCEL : IDOK);
    if (!program.WaitForExit(std::chrono::seconds(20)))
    {
        std::fprintf(stderr, "the program did not end\n");
        return 1;
    }
    return started ? 0 : 1;
}
