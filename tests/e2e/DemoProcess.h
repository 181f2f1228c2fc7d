#pragma once
#include <windows.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

// A program started as a child process of the tests. A test that fails half-way leaves it
// running, so the destructor ends it.
class DemoProcess
{
public:
    using Environment = std::vector<std::pair<std::string, std::string>>;

    DemoProcess() = default;
    ~DemoProcess();
    DemoProcess(const DemoProcess&) = delete;
    DemoProcess& operator=(const DemoProcess&) = delete;

    // Starts `program` in `folder` with this process's environment plus `environment`
    // (which replaces variables of the same name). False when it cannot be started.
    bool Start(const std::string& program, const std::string& folder, const Environment& environment = {});
    DWORD Id() const { return m_info.dwProcessId; }
    // False when the process still runs when the time-out passes.
    bool WaitForExit(std::chrono::milliseconds timeout) const;
    DWORD ExitCode() const;
    void Kill();

    // The named file in the folder of this test program (the build's output folder).
    static std::string BesideThisProgram(const std::string& fileName);

private:
    PROCESS_INFORMATION m_info{};
};
