// The about box, with the system queries answered by the test instead of the machine.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "dialogs/AboutDialog.h"
#include "dialogs/SystemInfo.h"
#include "framework/Strings.h"
#include "framework/Unicode.h"
#include "resources/resource.h"
#include "support/ModalHook.h"

namespace
{
// Answers with the figures a test sets (false: the query fails), and records the root asked for;
// the memory query always fails.
struct FakeSystem : SystemInfo
{
    BOOL GetVersionExA(LPOSVERSIONINFOA info) override
    {
        sizeGiven = info->dwOSVersionInfoSize;
        *info = version;
        return versionOk;
    }
    BOOL GlobalMemoryStatusEx(LPMEMORYSTATUSEX) override { return FALSE; }
    DWORD GetCurrentDirectoryA(DWORD length, LPSTR buffer) override
    {
        if (directory.size() + 1 > length)
            return static_cast<DWORD>(directory.size() + 1);
        std::memcpy(buffer, directory.c_str(), directory.size() + 1);
        return static_cast<DWORD>(directory.size());
    }
    BOOL GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectors, LPDWORD bytes, LPDWORD freeClusters, LPDWORD) override
    {
        rootAsked = root != nullptr ? root : "(none)";
        std::tie(*sectors, *bytes, *freeClusters) = std::make_tuple(8, 512, clusters);
        return diskOk;
    }

    OSVERSIONINFOA version{0, 10, 0, 19045, VER_PLATFORM_WIN32_NT, ""};
    std::string directory = "C:\\Music";
    DWORD clusters = 1000, sizeGiven = 0;
    bool versionOk = true, diskOk = true;
    std::string rootAsked;
};
}

class AboutTest : public ::testing::Test
{
protected:
    void SetUp() override { SetSystemInfo(&m_system); }
    void TearDown() override { SetSystemInfo(nullptr); }

    // Opens the about box and returns what one of its figures shows.
    std::string Shows(int control)
    {
        std::string shown;
        ModalHook hook([&](CDialog& dialog) { shown = dialog.GetDlgItemText(control), dialog.EndDialog(IDOK); });
        CAboutDialog().DoModal();
        return shown;
    }

    FakeSystem m_system;
};

TEST_F(AboutTest, VersionNamesThePlatformAndTrimsTheBuildOutsideNt)
{
    const struct { DWORD platform; const char* name; unsigned build; } cases[] = {
        {VER_PLATFORM_WIN32_WINDOWS, "Windows 9x ", 950}, {VER_PLATFORM_WIN32_NT, "Windows NT ", 0x040003B6}};
    for (const auto& c : cases)
    {
        m_system.version = OSVERSIONINFOA{0, 4, 10, 0x040003B6, c.platform, ""};
        EXPECT_EQ(FormatResString(IDS_OS_VERSION_FORMAT, c.name, 4u, 10u, c.build), Shows(IDC_OS_VERSION));
    }
    EXPECT_EQ(sizeof(OSVERSIONINFOA), m_system.sizeGiven);
    m_system.versionOk = false;
    EXPECT_EQ(LoadResString(IDS_OS_VERSION_UNKNOWN), Shows(IDC_OS_VERSION));
}

// The drive letter comes from the current directory; without one the volume is shown
// without a letter, and a failed query shows its text. Large figures are grouped as the
// user's locale groups digits (in threes, as the test machine's locale does).
TEST_F(AboutTest, FreeSpaceOfTheCurrentDirectorysVolume)
{
    wchar_t separator[8] = {};
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STHOUSAND, separator, 8);
    const std::string sep = Narrow(separator);
    const std::string four = "4" + sep + "000", twelve = "12" + sep + "000" + sep + "000";
    const std::string noLetter = FormatResString(IDS_DISK_FREE_NO_LETTER_FORMAT, four.c_str());
    const struct { std::string directory; DWORD clusters; bool diskOk; std::string shown, root; } cases[] = {
        {"c:\\", 1000, true, FormatResString(IDS_DISK_FREE_FORMAT, four.c_str(), 'C'), "C:\\"},
        // 12,288,000,000 bytes: more than 32 bits hold.
        {"Z:\\deep", 3000000, true, FormatResString(IDS_DISK_FREE_FORMAT, twelve.c_str(), 'Z'), "Z:\\"},
        {"\\\\server\\share", 1000, true, noLetter, "(none)"},
        {std::string(MAX_PATH + 20, 'x'), 1000, true, noLetter, "(none)"},
        {"C:\\", 1000, false, LoadResString(IDS_DISK_FREE_UNKNOWN), "C:\\"},
    };
    for (const auto& c : cases)
    {
        std::tie(m_system.directory, m_system.clusters, m_system.diskOk) = std::tie(c.directory, c.clusters, c.diskOk);
        const std::string shown = Shows(IDC_FREE_DISK);
        EXPECT_EQ(std::tie(c.shown, c.root), std::tie(shown, m_system.rootAsked)) << c.directory.substr(0, 20);
    }
    SetSystemInfo(nullptr);
    EXPECT_NE(LoadResString(IDS_DISK_FREE_UNKNOWN), Shows(IDC_FREE_DISK)) << "the machine's own figures";
}
