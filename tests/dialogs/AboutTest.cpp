// The about box, with the system queries answered by the test instead of the machine.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "dialogs/AboutDialog.h"
#include "dialogs/SystemInfo.h"
#include "framework/Strings.h"
#include "resources/resource.h"
#include "support/ModalHook.h"
#include "support/Pump.h"

namespace
{
constexpr int AboutControls[] = {IDC_OS_VERSION,    IDC_TOTAL_PHYSICAL, IDC_AVAIL_PHYSICAL,
                                 IDC_TOTAL_VIRTUAL, IDC_AVAIL_VIRTUAL,  IDC_FREE_DISK};

// Answers the queries with the figures a test sets, and records the root path asked for.
class FakeSystemInfo : public SystemInfo
{
public:
    BOOL GetVersionExA(LPOSVERSIONINFOA info) override
    {
        versionSizeGiven = info->dwOSVersionInfoSize;
        if (!versionOk)
            return FALSE;
        *info = version;
        info->dwOSVersionInfoSize = versionSizeGiven;
        return TRUE;
    }

    BOOL GlobalMemoryStatusEx(LPMEMORYSTATUSEX status) override
    {
        if (!memoryOk || status->dwLength != sizeof(MEMORYSTATUSEX))
            return FALSE;
        *status = memory;
        status->dwLength = sizeof(MEMORYSTATUSEX);
        return TRUE;
    }

    DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer) override
    {
        if (!directoryOk)
            return 0;
        if (directory.size() + 1 > bufferLength)
            return static_cast<DWORD>(directory.size() + 1);
        std::memcpy(buffer, directory.c_str(), directory.size() + 1);
        return static_cast<DWORD>(directory.size());
    }

    BOOL GetDiskFreeSpaceA(LPCSTR rootPath, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                           LPDWORD freeClusters, LPDWORD totalClusters) override
    {
        rootAsked = rootPath != nullptr ? rootPath : "(none)";
        if (!diskOk)
            return FALSE;
        *sectorsPerCluster = sectors;
        *bytesPerSector = bytes;
        *freeClusters = clusters;
        *totalClusters = clusters * 2;
        return TRUE;
    }

    bool versionOk = true;
    OSVERSIONINFOA version{0, 10, 0, 19045, VER_PLATFORM_WIN32_NT, ""};
    DWORD versionSizeGiven = 0;
    bool memoryOk = true;
    MEMORYSTATUSEX memory{};
    bool directoryOk = true;
    std::string directory = "C:\\Music\\Dumps";
    bool diskOk = true;
    DWORD sectors = 8;
    DWORD bytes = 512;
    DWORD clusters = 1000;
    std::string rootAsked;
};
}

class AboutTest : public ::testing::Test
{
protected:
    void SetUp() override { SetSystemInfo(&m_system); }
    void TearDown() override { SetSystemInfo(nullptr); }

    // Opens the about box and returns what its six figures show; closes it with OK.
    std::map<int, std::string> Show()
    {
        std::map<int, std::string> shown;
        ModalHook hook([&](CDialog& dialog) {
            for (int control : AboutControls)
                shown[control] = dialog.GetDlgItemText(control);
            PostMessageA(dialog.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        });
        CAboutDialog about;
        EXPECT_EQ(IDOK, about.DoModal());
        return shown;
    }

    static std::string Kb(unsigned long long kilobytes) { return FormatResString(IDS_MEMORY_FORMAT, kilobytes); }

    FakeSystemInfo m_system;
};

TEST_F(AboutTest, VersionNamesThePlatformAndTrimsTheBuildOutsideNt)
{
    const struct
    {
        DWORD platform;
        DWORD build;
        const char* name;
        unsigned shownBuild;
    } cases[] = {
        {VER_PLATFORM_WIN32_WINDOWS, 0x040003B6, "Windows 9x ", 950},
        {VER_PLATFORM_WIN32_NT, 0x040003B6, "Windows NT ", 0x040003B6},
        {VER_PLATFORM_WIN32s, 0x040003B6, "Windows NT ", 950},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.platform);
        m_system.version = OSVERSIONINFOA{0, 4, 10, c.build, c.platform, ""};
        EXPECT_EQ(FormatResString(IDS_OS_VERSION_FORMAT, c.name, 4u, 10u, c.shownBuild), Show()[IDC_OS_VERSION]);
    }
    EXPECT_EQ(sizeof(OSVERSIONINFOA), m_system.versionSizeGiven);
    m_system.versionOk = false;
    EXPECT_EQ(LoadResString(IDS_OS_VERSION_UNKNOWN), Show()[IDC_OS_VERSION]);
}

TEST_F(AboutTest, MemoryInWholeKilobytesWithoutWrapping)
{
    m_system.memory.ullTotalPhys = 33554432;
    m_system.memory.ullAvailPhys = 2047;           // rounds down
    m_system.memory.ullTotalVirtual = 1ull << 47;  // 128 TiB: a 64-bit address space
    m_system.memory.ullAvailVirtual = (1ull << 47) - (1ull << 20);
    auto shown = Show();
    EXPECT_EQ(Kb(32768), shown[IDC_TOTAL_PHYSICAL]);
    EXPECT_EQ(Kb(1), shown[IDC_AVAIL_PHYSICAL]);
    EXPECT_NE(std::string::npos, shown[IDC_TOTAL_VIRTUAL].find("137438953472"));
    EXPECT_EQ(Kb(137438952448ull), shown[IDC_AVAIL_VIRTUAL]);

    m_system.memoryOk = false;
    shown = Show();
    for (int control : {IDC_TOTAL_PHYSICAL, IDC_AVAIL_PHYSICAL, IDC_TOTAL_VIRTUAL, IDC_AVAIL_VIRTUAL})
        EXPECT_EQ("", shown[control]) << control;
}

// The drive letter comes from the current directory; without one the volume is shown
// without a letter, and a failed query shows its text.
TEST_F(AboutTest, FreeSpaceOfTheCurrentDirectorysVolume)
{
    const std::string noLetter = FormatResString(IDS_DISK_FREE_NO_LETTER_FORMAT, 4000ull);
    const std::string unknown = LoadResString(IDS_DISK_FREE_UNKNOWN);
    const struct
    {
        std::string directory;
        bool readable, diskOk;
        DWORD clusters;
        std::string shown, root;
    } cases[] = {
        {"c:\\", true, true, 1000, FormatResString(IDS_DISK_FREE_FORMAT, 4000ull, 'C'), "C:\\"},
        // 12,288,000,000 bytes: more than 32 bits hold.
        {"Z:\\deep\\folder", true, true, 3000000, FormatResString(IDS_DISK_FREE_FORMAT, 12000000ull, 'Z'), "Z:\\"},
        {"\\\\server\\share", true, true, 1000, noLetter, "(none)"},
        {std::string(MAX_PATH + 20, 'x'), true, true, 1000, noLetter, "(none)"},
        {"C:\\", false, true, 1000, noLetter, "(none)"},
        {"C:\\", true, false, 1000, unknown, "C:\\"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.directory.substr(0, 24));
        m_system.directory = c.directory;
        m_system.directoryOk = c.readable;
        m_system.diskOk = c.diskOk;
        m_system.clusters = c.clusters;
        EXPECT_EQ(c.shown, Show()[IDC_FREE_DISK]);
        EXPECT_EQ(c.root, m_system.rootAsked);
    }
}

TEST_F(AboutTest, TheMachinesOwnFiguresAreShown)
{
    SetSystemInfo(nullptr);
    for (const auto& [control, text] : Show())
        EXPECT_FALSE(text.empty()) << control;
}
