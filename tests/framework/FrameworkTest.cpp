// The framework layer: strings, boxes, files and modal runs.
#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

#include "framework/Dialog.h"
#include "framework/File.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "framework/WinApp.h"
#include "resources/resource.h"
#include "support/ModalHook.h"
#include "support/UiRecorder.h"

TEST(Framework, StringsAndBoxesAndKeysTypedAhead)
{
    EXPECT_TRUE(LoadResString(212).empty());
    EXPECT_EQ("2 before 1, %3 unknown, 100% sure", FormatPlaceholders("%2 before %1, %3 unknown, 100% sure", {"1", "2"}));
    EXPECT_NE(std::string::npos, FormatResString(IDS_MEMORY_FORMAT, 5000000000ULL).find("5000000000"));

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
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    const std::string path = std::string(folder) + "sysexdump-framework-file.syx";

    CFile writer;
    ASSERT_TRUE(writer.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive));
    writer.Write("\xF0\x01\xF7", 3);
    CFile other;
    EXPECT_FALSE(other.Open(path, CFile::modeRead | CFile::shareDenyNone)) << "an exclusive file is shared with no one";
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
            if (WaitForSingleObject(ended, 2000) == WAIT_TIMEOUT)
                PostMessageW(window, WM_NULL, 0, 0);
        });
    });
    const ULONGLONG started = GetTickCount64();
    EXPECT_EQ(IDCANCEL, CDialog(IDD_SELECTOR).DoModal());
    EXPECT_LT(GetTickCount64() - started, 1000u) << "the modal loop slept through the end of its dialog";
    SetEvent(ended);
    sender.join();
    CloseHandle(ended);
}
