// reseng.dll holds every identifier resource.h declares: each string, each dialog, each
// control in one of the dialogs, and the icon. The header is read as it stands, so that an
// identifier added to it without its resource is caught.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>

#include <climits>
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
#include "midi/MidiDialog.h"
#include "protocol/MidiFile.h"
#include "history/DumpHistory.h"
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

// What the program puts into the statics it fills (every SetDlgItemText, SetDlgItemInt and
// SetWindowText on a static), with the longest values each can take.
std::map<std::pair<UINT, int>, std::vector<std::string>> FilledTexts()
{
    const auto s = [](UINT id, std::initializer_list<std::string> inserts = {}) { return LoadResString(id, inserts); };
    const std::string bytes = "4294967295", dump = "65536", messages = "999999", wait = FormatDuration(9999 * 60 + 59);
    const std::string kb = FormatGroupedNumber(ULLONG_MAX / 1024);
    const std::string name(MAXPNAMELEN - 1, 'W');  // winmm's longest port name
    const std::string port = "\"" + name + "\"";
    std::map<std::pair<UINT, int>, std::vector<std::string>> texts{
        {{IDD_MAIN, IDC_STATUS}, {s(IDS_STATUS_SENT_PROGRAM, {"100", dump}), s(IDS_STATUS_SENT_ALGORITHM, {"128", dump}),
                                  s(IDS_STATUS_SENT_PROGRAM_CHANGE, {"128", "16"}), s(IDS_STATUS_SENT_COMMAND21, {"999"}),
                                  s(IDS_STATUS_SENT_COMMAND22, {"3", "999"}), s(IDS_STATUS_WAITING, {"9999"}), s(IDS_STATUS_ANSWERED, {dump}),
                                  s(IDS_STATUS_OUTPUT_NOT_CONNECTED, {port}), s(IDS_STATUS_INPUT_NOT_CONNECTED, {port}),
                                  s(IDS_STATUS_ANSWERED_TEXT, {dump, std::string(ShownTextLength, 'W') + "..."})}},
        {{IDD_ABOUT, IDC_OS_VERSION}, {FormatResString(IDS_OS_VERSION_FORMAT, "Windows NT ", 99u, 99u, UINT_MAX), s(IDS_OS_VERSION_UNKNOWN)}},
        {{IDD_ABOUT, IDC_FREE_DISK}, {FormatResString(IDS_DISK_FREE_FORMAT, kb.c_str(), 'W'), s(IDS_DISK_FREE_UNKNOWN),
                                      FormatResString(IDS_DISK_FREE_NO_LETTER_FORMAT, kb.c_str())}},
        {{IDD_BULK_RECEIVE, IDC_RECEIVED_COUNT}, {bytes}},
        {{IDD_BULK_RECEIVE, IDC_RECEIVE_RATE}, {s(IDS_RECEIVE_RATE, {bytes, wait}), s(IDS_RECEIVE_LAST_DATA, {wait})}},
        {{IDD_BULK_RECEIVE, IDC_RECEIVED_MESSAGES}, {s(IDS_RECEIVED_MESSAGES, {messages, messages, messages})}},
        {{IDD_BULK_RECEIVE, IDC_RECEIVE_INTRO}, {s(IDS_BACKUP_INTRO)}},
        {{IDD_BULK_SEND, IDC_SEND_SUMMARY}, {s(IDS_BULK_SUMMARY, {messages}), s(IDS_BULK_SUMMARY_MIDI, {messages}), s(IDS_BULK_SUMMARY_SELECTION, {messages}),
                                             s(IDS_BULK_SUMMARY_ONE), s(IDS_BULK_SUMMARY_MIDI_ONE), s(IDS_BULK_SUMMARY_SELECTION_ONE)}},
        {{IDD_BULK_SEND, IDC_SEND_WARNING}, {s(IDS_BULK_WARNING_PREFIX, {s(IDS_BULK_OUTSIDE_BYTES, {bytes}) + " " +
                                                                      s(IDS_BULK_UNENDED, {messages}) + " " + s(IDS_BULK_LEFT_OUT, {messages}) + " " +
                                                                      s(IDS_LONG_MESSAGE, {bytes})})}},
        {{IDD_BULK_SEND, IDC_FILE_SIZE}, {bytes}},
        {{IDD_BULK_SEND, IDC_SENT_COUNT}, {bytes}},
        {{IDD_BULK_SEND, IDC_SEND_TIME_LEFT}, {s(IDS_SEND_PROGRESS, {"100", wait}), s(IDS_SEND_PROGRESS_NO_ESTIMATE, {"100"})}},
        {{IDD_HISTORY, IDC_HISTORY_STATUS}, {s(IDS_HISTORY_WRITE_FAILED, {CDumpHistory::DefaultFolder()}),
                                              s(IDS_HISTORY_SUMMARY, {messages, kb, CDumpHistory::DefaultFolder()}),
                                              s(IDS_HISTORY_INDEX_REBUILT) + " " + s(IDS_HISTORY_FILES_MISSING, {messages, "20261231-235959-999_algorithm-128_received.syx"}) +
                                                  " " + s(IDS_HISTORY_OLD_REMOVED, {messages, "100000"})}},
        {{IDD_FIND_DEVICE, IDC_FIND_STATUS}, {s(IDS_FIND_ASKING, {name, "99", "99"}) + " " + s(IDS_FIND_SKIPPED, {name + ", " + name}),
                                               s(IDS_FIND_NONE) + " " + s(IDS_FIND_SKIPPED, {name + ", " + name})}},
        {{IDD_BANK, IDC_BANK_SUMMARY}, {s(IDS_BANK_SUMMARY, {messages, messages, messages}) + " " + s(IDS_BANK_SHOWN, {messages}) +
                                        " " + s(IDS_BANK_PROBLEM, {bytes, messages})}},
    };
    for (int id : {IDC_TOTAL_PHYSICAL, IDC_AVAIL_PHYSICAL, IDC_TOTAL_VIRTUAL, IDC_AVAIL_VIRTUAL})
        texts[{IDD_ABOUT, id}] = {FormatResString(IDS_MEMORY_FORMAT, kb.c_str())};
    return texts;
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

// Every text static shows its longest text whole, in its dialog's font at 96, 144 and 192 dpi.
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
        RECT shown{0, 0, 4, 8};  // the base units on this screen
        MapDialogRect(dialog, &shown);
        LOGFONTW face{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof face, &face);
        const int points = MulDiv(-face.lfHeight, 72, GetDeviceCaps(screen, LOGPIXELSY));
        for (int dpi : {96, 144, 192})
        {
            face.lfHeight = -MulDiv(points, dpi, 72);
            HGDIOBJ before = SelectObject(screen, CreateFontIndirectW(&face));
            TEXTMETRICW metrics;
            GetTextMetricsW(screen, &metrics);
            SIZE letters;
            GetTextExtentPoint32W(screen, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &letters);
            // A place in pixels here, to dialog units, to pixels in this font's base units (as the dialog manager takes them).
            const auto scale = [&](LONG pixels, bool across) {
                return across ? MulDiv(MulDiv(pixels, 4, shown.right), (letters.cx / 26 + 1) / 2, 4)
                              : MulDiv(MulDiv(pixels, 8, shown.bottom), metrics.tmHeight, 8);
            };
            for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT))
            {
                wchar_t className[8] = {}, text[512] = {};
                GetClassNameW(control, className, 8);
                const LONG style = GetWindowLongW(control, GWL_STYLE);
                if (lstrcmpiW(className, L"Static") != 0 || (style & SS_TYPEMASK) > SS_RIGHT)
                    continue;
                RECT place;
                GetWindowRect(control, &place);
                MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
                const LONG width = scale(place.right, true) - scale(place.left, true);
                const LONG height = scale(place.bottom, false) - scale(place.top, false);
                GetWindowTextW(control, text, 512);
                std::vector<std::wstring> texts{text};
                const auto fills = filled.find({dialogId, GetDlgCtrlID(control)});
                for (const std::string& more : fills != filled.end() ? fills->second : std::vector<std::string>{})
                    texts.push_back(Widen(more));
                for (const std::wstring& longest : texts)
                {
                    RECT needed{0, 0, width, 0};
                    DrawTextW(screen, longest.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS |
                              (style & SS_NOPREFIX ? DT_NOPREFIX : 0) | (style & SS_ELLIPSISMASK ? DT_SINGLELINE : 0));
                    ++measured;
                    EXPECT_TRUE(needed.right <= width && needed.bottom <= height)
                        << name << ", control " << GetDlgCtrlID(control) << " at " << dpi << " dpi needs " << needed.right
                        << "x" << needed.bottom << " of " << width << "x" << height << ": \"" << Narrow(longest) << "\"";
                }
            }
            DeleteObject(SelectObject(screen, before));
        }
        DestroyWindow(dialog);
    }
    EXPECT_GT(measured, 3 * (filled.size() + 40)) << "the dialogs were not read";
    ReleaseDC(nullptr, screen);
    FreeLibrary(module);
}
