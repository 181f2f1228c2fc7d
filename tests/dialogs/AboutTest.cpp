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
            EXPECT_EQ(static_cast<UINT>(IDD_ABOUT), dialog.TemplateId());
            for (int control : AboutControls)
                shown[control] = dialog.GetDlgItemText(control);
            PostMessageA(dialog.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            EXPECT_TRUE(PumpUntil([&] { return dialog.IsEnding(); }));
        });
        CAboutDialog about;
        EXPECT_EQ(IDOK, about.DoModal());
        return shown;
    }

    static std::string Kb(unsigned long long kilobytes)
    {
        return FormatResString(IDS_MEMORY_FORMAT, kilobytes);
    }

    FakeSystemInfo m_system;
};

TEST_F(AboutTest, NamesThePlatformAndTrimsTheBuildOutsideNt)
{
    struct Case
    {
        DWORD platform;
        DWORD build;
        const char* name;
        unsigned shownBuild;
    };
    const Case cases[] = {
        {VER_PLATFORM_WIN32_WINDOWS, 0x040003B6, "Windows 9x ", 950},
        {VER_PLATFORM_WIN32_NT, 0x040003B6, "Windows NT ", 0x040003B6},
        {VER_PLATFORM_WIN32s, 0x040003B6, "Windows NT ", 950},
        {3, 0xFFFF0001, "Windows NT ", 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.platform);
        m_system.version = OSVERSIONINFOA{0, 4, 10, c.build, c.platform, ""};
        const std::string expected = FormatResString(IDS_OS_VERSION_FORMAT, c.name, 4u, 10u, c.shownBuild);
        EXPECT_EQ(expected, Show()[IDC_OS_VERSION]);
    }
    EXPECT_EQ(148u, m_system.versionSizeGiven);
}

TEST_F(AboutTest, UnreadableVersionShowsItsTextAndTheRestAsUsual)
{
    m_system.versionOk = false;
    m_system.memory.ullTotalPhys = 1 << 20;
    auto shown = Show();
    EXPECT_EQ(LoadResString(IDS_OS_VERSION_UNKNOWN), shown[IDC_OS_VERSION]);
    EXPECT_EQ(Kb(1024), shown[IDC_TOTAL_PHYSICAL]);
    EXPECT_EQ(FormatResString(IDS_DISK_FREE_FORMAT, 4000ull, 'C'), shown[IDC_FREE_DISK]);
}

TEST_F(AboutTest, MemoryFiguresInWholeKilobytesWithoutWrapping)
{
    m_system.memory.ullTotalPhys = 33554432;
    m_system.memory.ullAvailPhys = 2047;  // rounds down
    m_system.memory.ullTotalVirtual = 1ull << 47;  // 128 TiB: the address space of a 64-bit process
    m_system.memory.ullAvailVirtual = (1ull << 47) - (1ull << 20);
    m_system.memory.ullTotalPageFile = 1ull << 40;  // not shown
    auto shown = Show();
    EXPECT_EQ(Kb(32768), shown[IDC_TOTAL_PHYSICAL]);
    EXPECT_EQ(Kb(1), shown[IDC_AVAIL_PHYSICAL]);
    EXPECT_EQ(Kb(137438953472ull), shown[IDC_TOTAL_VIRTUAL]);
    EXPECT_NE(std::string::npos, shown[IDC_TOTAL_VIRTUAL].find("137438953472"));
    EXPECT_EQ(Kb(137438952448ull), shown[IDC_AVAIL_VIRTUAL]);
}

TEST_F(AboutTest, FailedMemoryQueryLeavesTheFiguresBlank)
{
    m_system.memoryOk = false;
    auto shown = Show();
    for (int control : {IDC_TOTAL_PHYSICAL, IDC_AVAIL_PHYSICAL, IDC_TOTAL_VIRTUAL, IDC_AVAIL_VIRTUAL})
        EXPECT_EQ("", shown[control]) << control;
    EXPECT_NE(LoadResString(IDS_OS_VERSION_UNKNOWN), shown[IDC_OS_VERSION]);
}

TEST_F(AboutTest, FreeSpaceOfTheCurrentDriveBeyond4GiB)
{
    // 3,000,000 clusters of 8 x 512 bytes: 12,288,000,000 bytes, more than 32 bits hold.
    m_system.clusters = 3000000;
    EXPECT_EQ(FormatResString(IDS_DISK_FREE_FORMAT, 12000000ull, 'C'), Show()[IDC_FREE_DISK]);
    EXPECT_EQ("C:\\", m_system.rootAsked);
    EXPECT_NE(std::string::npos, Show()[IDC_FREE_DISK].find("12000000"));

    // Every cluster count a volume can report, with the largest clusters (64 KiB x 32).
    m_system.clusters = 0xFFFFFFFF;
    m_system.sectors = 128;
    m_system.bytes = 4096;
    EXPECT_EQ(FormatResString(IDS_DISK_FREE_FORMAT, 0xFFFFFFFFull << 9, 'C'), Show()[IDC_FREE_DISK]);
}

// The drive letter comes from the current directory; without one the volume is shown
// without a letter, and a failed query shows its text.
TEST_F(AboutTest, FreeSpaceOfTheCurrentDirectorysVolume)
{
    const std::string tooLong(MAX_PATH + 20, 'x');  // longer than the buffer
    const std::string withC = FormatResString(IDS_DISK_FREE_FORMAT, 4000ull, 'C');
    const std::string noLetter = FormatResString(IDS_DISK_FREE_NO_LETTER_FORMAT, 4000ull);
    const std::string unknown = LoadResString(IDS_DISK_FREE_UNKNOWN);
    const struct
    {
        std::string directory;
        bool readable, diskOk;
        std::string shown, root;
    } cases[] = {
        {"c:\\", true, true, withC, "C:\\"},
        {"Z:\\deep\\folder", true, true, FormatResString(IDS_DISK_FREE_FORMAT, 4000ull, 'Z'), "Z:\\"},
        {"\\\\server\\share\\dumps", true, true, noLetter, "(none)"},
        {"1:\\", true, true, noLetter, "(none)"},
        {tooLong, true, true, noLetter, "(none)"},
        {"C:\\", false, true, noLetter, "(none)"},
        {"C:\\", true, false, unknown, "C:\\"},
        {"\\\\server\\share", true, false, unknown, "(none)"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.directory.substr(0, 24) + (c.readable ? "" : " unreadable") + (c.diskOk ? "" : " no answer"));
        m_system.directory = c.directory;
        m_system.directoryOk = c.readable;
        m_system.diskOk = c.diskOk;
        EXPECT_EQ(c.shown, Show()[IDC_FREE_DISK]);
        EXPECT_EQ(c.root, m_system.rootAsked);
    }
}

TEST_F(AboutTest, MachineFiguresAreAllShown)
{
    SetSystemInfo(nullptr);
    auto shown = Show();
    for (int control : AboutControls)
        EXPECT_FALSE(shown[control].empty()) << control;
    EXPECT_NE(LoadResString(IDS_OS_VERSION_UNKNOWN), shown[IDC_OS_VERSION]);
    EXPECT_NE(LoadResString(IDS_DISK_FREE_UNKNOWN), shown[IDC_FREE_DISK]);
}
