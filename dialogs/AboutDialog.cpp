#include "dialogs/AboutDialog.h"

#include <string>
#include <utility>

#include "dialogs/SystemInfo.h"
#include "framework/Strings.h"
#include "resources/resource.h"

namespace
{
// The platform names live in the program, not the resource module; each ends in a blank
// so that the format string can put the version right after it.
constexpr char Windows9xName[] = "Windows 9x ";
constexpr char WindowsNtName[] = "Windows NT ";

unsigned long long Kilobytes(unsigned long long bytes)
{
    return bytes >> 10;
}

// 1 for A ... 26 for Z; 0 when the current directory has no drive letter or cannot be read.
int CurrentDriveNumber()
{
    char directory[MAX_PATH] = {};
    const DWORD length = System().GetCurrentDirectoryA(MAX_PATH, directory);
    // A result of MAX_PATH or more is the size needed, and the buffer holds nothing usable.
    if (length == 0 || length >= MAX_PATH || directory[1] != ':')
        return 0;
    const char letter = directory[0];
    if (letter >= 'a' && letter <= 'z')
        return letter - 'a' + 1;
    if (letter >= 'A' && letter <= 'Z')
        return letter - 'A' + 1;
    return 0;
}
}

CAboutDialog::CAboutDialog() : CDialog(IDD_ABOUT)
{
}

BOOL CAboutDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    ShowVersion();
    ShowMemory();
    ShowFreeDiskSpace();
    return TRUE;
}

void CAboutDialog::ShowVersion()
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!System().GetVersionExA(&version))
    {
        SetDlgItemText(IDC_OS_VERSION, LoadResString(IDS_OS_VERSION_UNKNOWN));
        return;
    }
    const char* name = version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? Windows9xName : WindowsNtName;
    // Outside NT the high half of the build number repeats the version.
    const unsigned build = version.dwPlatformId == VER_PLATFORM_WIN32_NT ? version.dwBuildNumber
                                                                          : LOWORD(version.dwBuildNumber);
    SetDlgItemText(IDC_OS_VERSION, FormatResString(IDS_OS_VERSION_FORMAT, name, unsigned(version.dwMajorVersion),
                                                   unsigned(version.dwMinorVersion), build));
}

void CAboutDialog::ShowMemory()
{
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    // With the record's own size the query does not fail; if it ever did, blank fields say
    // less than wrong figures would.
    if (!System().GlobalMemoryStatusEx(&memory))
        return;
    const std::pair<int, DWORDLONG> figures[] = {
        {IDC_TOTAL_PHYSICAL, memory.ullTotalPhys},
        {IDC_AVAIL_PHYSICAL, memory.ullAvailPhys},
        {IDC_TOTAL_VIRTUAL, memory.ullTotalVirtual},
        {IDC_AVAIL_VIRTUAL, memory.ullAvailVirtual},
    };
    for (const auto& [control, bytes] : figures)
        SetDlgItemText(control, FormatResString(IDS_MEMORY_FORMAT, FormatGroupedNumber(Kilobytes(bytes)).c_str()));
}

void CAboutDialog::ShowFreeDiskSpace()
{
    const int drive = CurrentDriveNumber();
    const char letter = static_cast<char>('A' + drive - 1);
    const char root[] = {letter, ':', '\\', '\0'};
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD totalClusters = 0;
    // Without a letter (a network path) the query without a path reports the current
    // directory's own volume.
    if (!System().GetDiskFreeSpaceA(drive != 0 ? root : nullptr, &sectorsPerCluster, &bytesPerSector,
                                    &freeClusters, &totalClusters))
    {
        SetDlgItemText(IDC_FREE_DISK, LoadResString(IDS_DISK_FREE_UNKNOWN));
        return;
    }
    const std::string freeKb = FormatGroupedNumber(
        Kilobytes(static_cast<unsigned long long>(freeClusters) * sectorsPerCluster * bytesPerSector));
    SetDlgItemText(IDC_FREE_DISK, drive != 0 ? FormatResString(IDS_DISK_FREE_FORMAT, freeKb.c_str(), letter)
                                             : FormatResString(IDS_DISK_FREE_NO_LETTER_FORMAT, freeKb.c_str()));
}
