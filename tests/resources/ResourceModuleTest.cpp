// reseng.dll holds every identifier resource.h declares: each string, each dialog, each
// control in one of the dialogs, and the icon. The header is read as it stands, so that an
// identifier added to it without its resource is caught.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "protocol/MidiFile.h"
#include "resources/resource.h"

namespace
{
INT_PTR CALLBACK SilentDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// Every "#define <prefix>... <number>" of resource.h, with its number.
std::vector<std::pair<std::string, UINT>> Declared(const std::string& prefix)
{
    std::string path = RESOURCE_HEADER;
    if (path.front() == '/')
        path = "Z:" + path;  // Wine's drive for the Unix root
    std::ifstream header(path);
    EXPECT_TRUE(header.is_open()) << path;
    const std::regex define("#define\\s+(" + prefix + "\\w*)\\s+(\\d+).*");
    std::vector<std::pair<std::string, UINT>> found;
    std::smatch match;
    for (std::string line; std::getline(header, line);)
        if (std::regex_match(line, match, define) && match[1].str().find("_BASE") == std::string::npos)
            found.emplace_back(match[1], std::stoul(match[2]));
    return found;
}
}

TEST(ResourceModule, HoldsEveryIdentifierItsHeaderDeclares)
{
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_UPDOWN_CLASS | ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&classes);
    HMODULE module = LoadLibraryA("reseng.dll");
    ASSERT_NE(nullptr, module);

    std::vector<std::pair<std::string, UINT>> strings = Declared("(?:IDS|AFX_IDP)_");
    for (int reason = 1; reason <= static_cast<int>(MidiFileError::UnterminatedSysEx); ++reason)
        strings.emplace_back("MIDI file reason " + std::to_string(reason), IDS_MIDI_FILE_REASON_BASE + reason);
    EXPECT_GT(strings.size(), 70u) << "resource.h was not read";
    for (const auto& [name, id] : strings)
    {
        wchar_t text[8];
        EXPECT_GT(LoadStringW(module, id, text, 8), 0) << name;
    }

    std::set<int> controls;
    for (const auto& [name, id] : Declared("IDD_"))
    {
        HWND dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(id), nullptr, SilentDialogProc, 0);
        // 1400 here means Wine has no display: its server was started outside the virtual one.
        ASSERT_NE(nullptr, dialog) << name << ", error " << GetLastError();
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            controls.insert(GetDlgCtrlID(child));
        DestroyWindow(dialog);
    }
    for (const auto& [name, id] : Declared("IDC_"))
        EXPECT_EQ(1u, controls.count(static_cast<int>(id))) << name;
    EXPECT_NE(nullptr, LoadIconA(module, MAKEINTRESOURCEA(IDI_MAIN)));
    FreeLibrary(module);
}
