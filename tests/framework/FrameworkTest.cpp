// The framework layer: strings, boxes, files, modal runs, data exchange, taskbar progress.
#include <gtest/gtest.h>

#include <windows.h>
#include <shobjidl.h>

#include <climits>
#include <filesystem>
#include <memory>
#include <thread>
#include <tuple>

#include "framework/DataExchange.h"
#include "framework/Dialog.h"
#include "framework/File.h"
#include "framework/Unicode.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "framework/TaskbarProgress.h"
#include "framework/WinApp.h"
#include "resources/resource.h"
#include "support/ModalHook.h"
#include "support/UiRecorder.h"
#include "support/WindowTest.h"

TEST(Framework, StringsAndBoxesAndKeysTypedAhead)
{
    EXPECT_TRUE(LoadResString(212).empty());
    EXPECT_EQ("2 before 1, %3 unknown, 100% sure", FormatPlaceholders("%2 before %1, %3 unknown, 100% sure", {"1", "2"}));

    UiRecorder ui;
    // A dialog or a box drops the keys typed before it appeared, and nothing else.
    ModalHook hook([](CDialog& running) { running.EndDialog(IDCANCEL); });
    for (int box = 0; box < 2; ++box)
    {
        for (UINT message : {WM_KEYDOWN, WM_CHAR, WM_APP})
            PostThreadMessageW(GetCurrentThreadId(), message, VK_RETURN, 0);
        box ? AfxMessageBox(IDS_NO_REPLY, MB_ERROR_BOX) : CDialog(IDD_SELECTOR).DoModal();
        MSG message;
        EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) << box;
        EXPECT_TRUE(PeekMessageW(&message, nullptr, WM_APP, WM_APP, PM_REMOVE)) << box;
    }
    AfxMessageBox(std::string("assembled"), MB_ERROR_BOX);
    AfxFileMessageBox(IDS_FILE_READ_FAILED, "a.syx");
    EXPECT_EQ((std::vector<Box>{Error(IDS_NO_REPLY), ErrorText("assembled"), FileError(IDS_FILE_READ_FAILED, "a.syx")}),
              ui.boxes);

    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    const std::string name = FileNamePart(path);
    EXPECT_EQ(name.substr(0, name.rfind('.')), AfxGetApp()->Title());
    for (const char* full : {"C:\\dumps\\a.syx", "dumps/a.syx", "C:a.syx", "a.syx"})
        EXPECT_EQ("a.syx", FileNamePart(full)) << full;
}

TEST(Framework, FileOpenReadWriteAndTheirFailures)
{
    const std::string path = (std::filesystem::temp_directory_path() / "sysexdump-framework-file.syx").string();

    CFile writer;
    ASSERT_TRUE(writer.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive));
    writer.Write("\xF0\x01\xF7", 3);
    EXPECT_FALSE(CFile().Open(path, CFile::modeRead | CFile::shareDenyNone)) << "an exclusive file is not shared";
    writer.Close();

    CFile reader;
    ASSERT_TRUE(reader.Open(path, CFile::modeRead | CFile::shareDenyWrite));
    unsigned char bytes[8] = {};
    EXPECT_EQ(3u, reader.Read(bytes, sizeof bytes));
    reader.Close();
    EXPECT_FALSE(CFile().Open(path, CFile::modeCreateNew | CFile::modeWrite | CFile::shareDenyNone));
    DWORD error = 0;
    EXPECT_FALSE(CFile().Open(path + ".missing", CFile::modeRead, &error));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), error);
    DeleteFileA(path.c_str());

    // What the folder listed (name, short name, size) against the name and size written.
    const struct { const wchar_t *listed, *shortName; DWORD size; bool kept; } entries[] = {
        {L"Dump.syx", L"", 3, true}, {L"DUMP.SYX", L"", 3, true}, {L"Long dump name.syx", L"Dump.syx", 3, true},
        {L"Dump.sy", L"", 3, false}, {L"Dump.syx", L"", 2, false}};
    const ULONGLONG written = 3;
    for (const auto& row : entries)
    {
        WIN32_FIND_DATAW entry{};
        entry.nFileSizeLow = row.size;
        wcscpy(entry.cFileName, row.listed), wcscpy(entry.cAlternateFileName, row.shortName);
        EXPECT_EQ(row.kept, EntryIsFile(entry, "Dump.syx", &written) != FALSE) << Narrow(row.listed);
    }
}

// A command sent from another thread (as automation tools send it) is handled inside the
// loop's wait for a message: ending the dialog there must still end the run.
TEST(Framework, ModalRunEndsOnACommandSentFromAnotherThread)
{
    HANDLE ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread sender;
    ModalHook hook([&](CDialog& running) {
        sender = std::thread([window = running.GetSafeHwnd(), ended] {
            SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
            // Wakes a loop that kept waiting, so that the failure shows as a slow run.
            if (WaitForSingleObject(ended, 10000) == WAIT_TIMEOUT)
                PostMessageW(window, WM_NULL, 0, 0);
        });
    });
    const ULONGLONG started = GetTickCount64();
    EXPECT_EQ(IDCANCEL, CDialog(IDD_SELECTOR).DoModal());
    EXPECT_LT(GetTickCount64() - started, 5000u) << "the modal loop slept through the end of its dialog";
    SetEvent(ended);
    sender.join();
    CloseHandle(ended);
}

namespace
{
// A number of 1 to 16 and a name of at most 4 characters, in two edits of the setup template.
struct ExchangeDialog : CDialog
{
    ExchangeDialog() : CDialog(IDD_MIDI_SETUP) {}
    void DoDataExchange(CDataExchange* dx) override
    {
        DDX_Text(dx, IDC_DEVICE_NUMBER, number);
        DDV_MinMaxInt(dx, number, 1, 16);
        DDX_Text(dx, IDC_PAUSE, name);
        DDV_MaxChars(dx, name, 4);
    }
    int number = 3;
    std::string name;
};
}

// A field is read as the framework reads it (only its first 31 characters); a refused one
// shows its prompt, gets the focus with its whole text selected and ends the exchange.
TEST(Framework, DataExchangeReadsNumbersAndRefusesWithPromptFocusAndSelection)
{
    const Box bad = NotANumber(), range = OutOfRange(1, 16), tooLong = Error(AFX_IDP_PARSE_STRING_SIZE, {"4"});
    const std::string japanese = u8"\u65e5\u672c\u8a9e!";
    const struct { std::string number, name; std::vector<Box> shown; int value; std::string kept; } cases[] = {
        {" 12\t", "abcd", {}, 12, "abcd"}, {"\t+5 ", japanese, {}, 5, japanese},
        {std::string(30, ' ') + "7xyz", "", {}, 7, ""}, {"12a", "x", {bad}, 3, ""}, {"1 2", "x", {bad}, 3, ""},
        {" ", "x", {bad}, 3, ""}, {"-0", "x", {bad}, 3, ""}, {"0x10", "x", {bad}, 3, ""}, {"0", "x", {range}, 0, ""},
        {"17", "x", {range}, 17, ""}, {"99999999999", "x", {range}, INT_MAX, ""},
        {"16", "abcde", {tooLong}, 16, "abcde"},
    };
    for (const auto& c : cases)
    {
        UiRecorder ui;
        ExchangeDialog dialog;
        ModalHook hook([&](CDialog& running) {
            running.SetDlgItemText(IDC_DEVICE_NUMBER, c.number);
            running.SetDlgItemText(IDC_PAUSE, c.name);
            EXPECT_EQ(c.shown.empty(), running.UpdateData(TRUE) != FALSE) << c.number;
            const int refused = c.shown.empty() ? 0 : c.shown[0] == tooLong ? IDC_PAUSE : IDC_DEVICE_NUMBER;
            EXPECT_TRUE(refused == 0 || WindowTest::FocusedAndSelected(running, refused)) << c.number;
            running.EndDialog(IDCANCEL);
        });
        dialog.DoModal();
        EXPECT_EQ(std::tie(c.shown, c.value, c.kept), std::tie(ui.boxes, dialog.number, dialog.name)) << c.number;
    }
}

namespace
{
// Records the taskbar calls made, in order.
struct FakeTaskbar : ITaskbarList3
{
    std::string calls;
    HRESULT init = S_OK;
#define CALL_AS(type, name, result, ...) \
    type STDMETHODCALLTYPE name(__VA_ARGS__) override { return calls += #name " ", result; }
#define CALL(name, ...) CALL_AS(HRESULT, name, S_OK, __VA_ARGS__)
    CALL_AS(HRESULT, QueryInterface, E_NOINTERFACE, REFIID, void**) CALL_AS(ULONG, AddRef, 2)
    CALL_AS(ULONG, Release, 1) CALL_AS(HRESULT, HrInit, init) CALL(SetProgressValue, HWND, ULONGLONG, ULONGLONG)
    CALL(SetProgressState, HWND, TBPFLAG) CALL(AddTab, HWND) CALL(DeleteTab, HWND) CALL(ActivateTab, HWND)
    CALL(SetActiveAlt, HWND) CALL(MarkFullscreenWindow, HWND, BOOL) CALL(RegisterTab, HWND, HWND)
    CALL(UnregisterTab, HWND) CALL(SetTabOrder, HWND, HWND) CALL(SetTabActive, HWND, HWND, DWORD)
    CALL(ThumbBarAddButtons, HWND, UINT, LPTHUMBBUTTON) CALL(ThumbBarUpdateButtons, HWND, UINT, LPTHUMBBUTTON)
    CALL(ThumbBarSetImageList, HWND, HIMAGELIST) CALL(SetOverlayIcon, HWND, HICON, LPCWSTR)
    CALL(SetThumbnailTooltip, HWND, LPCWSTR) CALL(SetThumbnailClip, HWND, RECT*)
#undef CALL
#undef CALL_AS
} g_taskbar;
}

// The taskbar is initialised before any other call; one that refuses is not used.
TEST(Framework, TaskbarProgressInitialisesTheTaskbarFirst)
{
    CTaskbarProgress::SetFactory([]() -> ITaskbarList3* { return &g_taskbar; });
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    for (const HRESULT init : {S_OK, E_FAIL})
    {
        g_taskbar.calls.clear();
        g_taskbar.init = init;
        auto progress = std::make_unique<CTaskbarProgress>();
        progress->Attach(window);
        progress->Show(1, 2);
        progress.reset();
        const char* shown = "HrInit SetProgressState SetProgressValue SetProgressState Release ";
        EXPECT_EQ(init == S_OK ? shown : "HrInit Release ", g_taskbar.calls);
    }
    DestroyWindow(window);
    CTaskbarProgress::SetFactory(nullptr);
}
