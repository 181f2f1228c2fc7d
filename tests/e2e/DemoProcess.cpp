#include "DemoProcess.h"

DemoProcess::~DemoProcess() { Kill(); }

bool DemoProcess::Start(const std::string& program, const std::string& folder, const Environment& environment)
{
    Kill();
    // The child inherits this process's environment, with these variables set only for it.
    for (const auto& [name, value] : environment)
        SetEnvironmentVariableA(name.c_str(), value.c_str());
    std::string commandLine = "\"" + program + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    const bool started = CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                        folder.c_str(), &startup, &m_info) != FALSE;
    for (const auto& variable : environment)
        SetEnvironmentVariableA(variable.first.c_str(), nullptr);
    if (!started)
        m_info = {};
    return started;
}

bool DemoProcess::WaitForExit(std::chrono::milliseconds timeout) const
{
    return m_info.hProcess != nullptr &&
           WaitForSingleObject(m_info.hProcess, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
}

DWORD DemoProcess::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (m_info.hProcess != nullptr)
        GetExitCodeProcess(m_info.hProcess, &code);
    return code;
}

void DemoProcess::Kill()
{
    if (m_info.hProcess == nullptr)
        return;
    if (WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT)
    {
        TerminateProcess(m_info.hProcess, 99);
        WaitForSingleObject(m_info.hProcess, 5000);
    }
    CloseHandle(m_info.hThread);
    CloseHandle(m_info.hProcess);
    m_info = {};
}

std::string DemoProcess::BesideThisProgram(const std::string& fileName)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    folder.resize(folder.find_last_of("\\/") + 1);
    return folder + fileName;
}
