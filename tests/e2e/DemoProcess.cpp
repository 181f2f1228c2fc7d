#include "DemoProcess.h"

#include <cstring>

namespace
{
bool SameName(const char* entry, const std::string& name)
{
    return _strnicmp(entry, name.c_str(), name.size()) == 0 && entry[name.size()] == '=';
}

// This process's environment block with `extra` set in it.
std::vector<char> EnvironmentBlock(const DemoProcess::Environment& extra)
{
    std::vector<char> block;
    if (char* strings = GetEnvironmentStringsA())
    {
        for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1)
        {
            bool replaced = false;
            for (const auto& variable : extra)
                replaced = replaced || SameName(entry, variable.first);
            if (!replaced)
                block.insert(block.end(), entry, entry + std::strlen(entry) + 1);
        }
        FreeEnvironmentStringsA(strings);
    }
    for (const auto& [name, value] : extra)
    {
        const std::string entry = name + "=" + value;
        block.insert(block.end(), entry.begin(), entry.end());
        block.push_back('\0');
    }
    block.push_back('\0');
    return block;
}
}

DemoProcess::~DemoProcess()
{
    Kill();
}

bool DemoProcess::Start(const std::string& program, const std::string& folder, const Environment& environment)
{
    Kill();
    std::vector<char> block = EnvironmentBlock(environment);
    std::string commandLine = "\"" + program + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, block.data(),
                        folder.c_str(), &startup, &m_info))
    {
        m_info = {};
        return false;
    }
    return true;
}

bool DemoProcess::IsRunning() const
{
    return m_info.hProcess != nullptr && WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT;
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
    if (IsRunning())
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
