// reseng.dll holds every identifier resource.h declares: each string, each dialog, each
// control in one of the dialogs, and the icon. The header is read as it stands, so that an
// identifier added to it without its resource is caught.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "dialogs/Durations.h"
#include "framework/Strings.h"
#include "framework/Unicode.h"
#include "framework/WinApp.h"
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

// A text control of a dialog template: its place in dialog units, its style and text.
struct StaticText
{
    int id;
    RECT units;
    DWORD style;
    std::wstring text;
};

// Steps over a name-or-number field of a template, keeping a name.
const WORD* Field(const WORD* at, std::wstring* name = nullptr)
{
    if (*at == 0xFFFF)
        return at + 2;
    const WORD* start = at;
    for (; *at != 0; ++at) {}
    if (name != nullptr)
        name->assign(reinterpret_cast<const wchar_t*>(start), at - start);
    return at + 1;
}

// The text statics of an extended dialog template, and its font size in points.
std::vector<StaticText> TextStatics(HMODULE module, UINT dialog, int& points)
{
    const WORD* at = static_cast<const WORD*>(LockResource(LoadResource(module, FindResourceW(module, MAKEINTRESOURCEW(dialog), MAKEINTRESOURCEW(5)))));
    const WORD count = at[8];
    at = Field(Field(Field(at + 13)));  // menu, class, caption
    points = at[0];
    at = Field(at + 3);  // size, weight, italic and character set, face
    std::vector<StaticText> found;
    for (WORD item = 0; item < count; ++item)
    {
        at = reinterpret_cast<const WORD*>((reinterpret_cast<UINT_PTR>(at) + 3) & ~UINT_PTR{3});
        StaticText control{};
        std::memcpy(&control.style, at + 4, sizeof control.style);
        const short* place = reinterpret_cast<const short*>(at + 6);
        control.units = {place[0], place[1], place[0] + place[2], place[1] + place[3]};
        control.id = static_cast<short>(at[10]);
        std::wstring className;
        const bool staticClass = at[12] == 0xFFFF ? at[13] == 0x0082 : (Field(at + 12, &className), !lstrcmpiW(className.c_str(), L"Static"));
        at = Field(Field(at + 12), &control.text);
        at = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(at + 1) + *at);  // creation data
        const DWORD type = control.style & SS_TYPEMASK;
        if (staticClass && (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT))
            found.push_back(control);
    }
    return found;
}

// What the program puts into the statics it fills, with the longest values each can take.
std::map<std::pair<UINT, int>, std::vector<std::string>> FilledTexts()
{
    const auto s = [](UINT id, std::initializer_list<std::string> inserts = {}) { return LoadResString(id, inserts); };
    const std::string bytes = "4294967295", dump = "65536", messages = "999999", wait = FormatDuration(9999 * 60 + 59);
    const std::string memory = FormatGroupedNumber(ULLONG_MAX / 1024);
    return {
        {{IDD_MAIN, IDC_STATUS}, {s(IDS_STATUS_SENT_PROGRAM, {"100", dump}), s(IDS_STATUS_SENT_ALGORITHM, {"128", dump}),
                                  s(IDS_STATUS_SENT_PROGRAM_CHANGE, {"128", "16"}), s(IDS_STATUS_SENT_COMMAND21, {"999"}),
                                  s(IDS_STATUS_SENT_COMMAND22, {"3", "999"}), s(IDS_STATUS_WAITING, {"9999"}), s(IDS_STATUS_ANSWERED, {dump})}},
        {{IDD_ABOUT, IDC_OS_VERSION}, {FormatResString(IDS_OS_VERSION_FORMAT, "Windows NT ", 99u, 99u, UINT_MAX), s(IDS_OS_VERSION_UNKNOWN)}},
        {{IDD_ABOUT, IDC_TOTAL_PHYSICAL}, {FormatResString(IDS_MEMORY_FORMAT, memory.c_str())}},
        {{IDD_ABOUT, IDC_AVAIL_PHYSICAL}, {FormatResString(IDS_MEMORY_FORMAT, memory.c_str())}},
        {{IDD_ABOUT, IDC_TOTAL_VIRTUAL}, {FormatResString(IDS_MEMORY_FORMAT, memory.c_str())}},
        {{IDD_ABOUT, IDC_AVAIL_VIRTUAL}, {FormatResString(IDS_MEMORY_FORMAT, memory.c_str())}},
        {{IDD_ABOUT, IDC_FREE_DISK}, {FormatResString(IDS_DISK_FREE_FORMAT, memory.c_str(), 'W'), s(IDS_DISK_FREE_UNKNOWN),
                                      FormatResString(IDS_DISK_FREE_NO_LETTER_FORMAT, memory.c_str())}},
        {{IDD_BULK_RECEIVE, IDC_RECEIVED_COUNT}, {bytes}},
        {{IDD_BULK_RECEIVE, IDC_RECEIVE_RATE}, {s(IDS_RECEIVE_RATE, {bytes, wait}), s(IDS_RECEIVE_LAST_DATA, {wait})}},
        {{IDD_BULK_RECEIVE, IDC_RECEIVED_MESSAGES}, {s(IDS_RECEIVED_MESSAGES, {messages, messages, messages})}},
        {{IDD_BULK_SEND, IDC_SEND_SUMMARY}, {s(IDS_BULK_SUMMARY, {messages}), s(IDS_BULK_SUMMARY_MIDI, {messages}),
                                             s(IDS_BULK_SUMMARY_SELECTION, {messages}), s(IDS_BULK_SUMMARY_ONE),
                                             s(IDS_BULK_SUMMARY_MIDI_ONE), s(IDS_BULK_SUMMARY_SELECTION_ONE)}},
        {{IDD_BULK_SEND, IDC_SEND_WARNING}, {s(IDS_BULK_WARNING_PREFIX, {s(IDS_BULK_OUTSIDE_BYTES, {bytes}) + " " +
                                                                      s(IDS_BULK_UNENDED, {messages}) + " " + s(IDS_LONG_MESSAGE, {bytes})})}},
        {{IDD_BULK_SEND, IDC_FILE_SIZE}, {bytes}},
        {{IDD_BULK_SEND, IDC_SENT_COUNT}, {bytes}},
        {{IDD_BULK_SEND, IDC_SEND_TIME_LEFT}, {s(IDS_SEND_PROGRESS, {"100", wait}), s(IDS_SEND_PROGRESS_NO_ESTIMATE, {"100"})}},
        {{IDD_BANK, IDC_BANK_SUMMARY}, {s(IDS_BANK_SUMMARY, {messages, messages, messages}) + " " + s(IDS_BANK_PROBLEM, {bytes, messages})}},
    };
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

// Every text static shows its longest text whole, in the dialog's font at 96, 144 and 192 dpi.
TEST(ResourceModule, EveryStaticShowsItsLongestTextWhole)
{
    HMODULE module = LoadLibraryA("reseng.dll");
    ASSERT_NE(nullptr, module);
    AfxSetResourceHandle(module);
    const auto filled = FilledTexts();
    HDC screen = GetDC(nullptr);
    std::size_t measured = 0;
    for (const auto& [name, dialogId] : Declared("IDD_"))
    {
        HWND dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(dialogId), nullptr, SilentDialogProc, 0);
        ASSERT_NE(nullptr, dialog) << name;
        LOGFONTW face{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof face, &face);
        int points = 0;
        const std::vector<StaticText> statics = TextStatics(module, dialogId, points);
        for (int dpi : {96, 144, 192})
        {
            face.lfHeight = -MulDiv(points, dpi, 72);
            HGDIOBJ before = SelectObject(screen, CreateFontIndirectW(&face));
            // The dialog base units of this font, as the dialog manager takes them.
            TEXTMETRICW metrics;
            GetTextMetricsW(screen, &metrics);
            SIZE letters;
            GetTextExtentPoint32W(screen, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &letters);
            const int baseX = (letters.cx / 26 + 1) / 2, baseY = metrics.tmHeight;
            for (const StaticText& control : statics)
            {
                RECT place{MulDiv(control.units.left, baseX, 4), MulDiv(control.units.top, baseY, 8),
                           MulDiv(control.units.right, baseX, 4), MulDiv(control.units.bottom, baseY, 8)};
                RECT shown = control.units;
                if (dpi == GetDeviceCaps(screen, LOGPIXELSY) && MapDialogRect(dialog, &shown))
                {
                    EXPECT_TRUE(EqualRect(&place, &shown)) << name << " " << control.id << ": base units differ";
                }
                std::vector<std::wstring> texts{control.text};
                const auto fills = filled.find({dialogId, control.id});
                for (const std::string& text : fills != filled.end() ? fills->second : std::vector<std::string>{})
                    texts.push_back(Widen(text));
                for (const std::wstring& text : texts)
                {
                    RECT needed{0, 0, place.right - place.left, 0};
                    DrawTextW(screen, text.c_str(), -1, &needed,
                              DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | (control.style & SS_NOPREFIX ? DT_NOPREFIX : 0) |
                                  (control.style & SS_ELLIPSISMASK ? DT_SINGLELINE : 0));
                    ++measured;
                    EXPECT_TRUE(needed.right <= place.right - place.left && needed.bottom <= place.bottom - place.top)
                        << name << ", control " << control.id << " at " << dpi << " dpi needs " << needed.right << "x"
                        << needed.bottom << " of " << place.right - place.left << "x" << place.bottom - place.top
                        << ": \"" << Narrow(text) << "\"";
                }
            }
            DeleteObject(SelectObject(screen, before));
        }
        DestroyWindow(dialog);
    }
    EXPECT_GT(measured, 3 * (filled.size() + 40)) << "the templates were not read";
    ReleaseDC(nullptr, screen);
    FreeLibrary(module);
}
