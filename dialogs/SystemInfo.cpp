#include "dialogs/SystemInfo.h"

namespace
{
class PlatformSystemInfo : public SystemInfo
{
public:
    BOOL GetVersionExA(LPOSVERSIONINFOA info) override
    {
#if defined(_MSC_VER)
#pragma warning(suppress : 4996) // still the call that reports what the process is told
#endif
        return ::GetVersionExA(info);
    }

    BOOL GlobalMemoryStatusEx(LPMEMORYSTATUSEX status) override { return ::GlobalMemoryStatusEx(status); }

    DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer) override
    {
        return ::GetCurrentDirectoryA(bufferLength, buffer);
    }

    BOOL GetDiskFreeSpaceA(LPCSTR rootPath, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                           LPDWORD freeClusters, LPDWORD totalClusters) override
    {
        return ::GetDiskFreeSpaceA(rootPath, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters);
    }
};

PlatformSystemInfo g_platform;
SystemInfo* g_current = &g_platform;
}

SystemInfo& System()
{
    return *g_current;
}

void SetSystemInfo(SystemInfo* info)
{
    g_current = info != nullptr ? info : &g_platform;
}
