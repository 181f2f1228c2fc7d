#pragma once
#include <windows.h>

// The system queries of the about box, one to one with the platform calls (names,
// arguments, results), so that tests can stand in for the machine's own figures.
class SystemInfo
{
public:
    virtual ~SystemInfo() = default;

    virtual BOOL GetVersionExA(LPOSVERSIONINFOA info) = 0;
    // The extended query, because the address space of a 64-bit process exceeds 4 GiB.
    virtual BOOL GlobalMemoryStatusEx(LPMEMORYSTATUSEX status) = 0;
    virtual DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer) = 0;
    virtual BOOL GetDiskFreeSpaceA(LPCSTR rootPath, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                                   LPDWORD freeClusters, LPDWORD totalClusters) = 0;
};

// The queries in use: the platform's unless a test has put its own in place.
SystemInfo& System();
// nullptr restores the platform's.
void SetSystemInfo(SystemInfo* info);
