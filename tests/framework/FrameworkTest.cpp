#include <gtest/gtest.h>

#include <windows.h>

#include "framework/Dialog.h"
#include "framework/File.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "framework/WinApp.h"
#include "resources/resource.h"
#include "support/ModalHook.h"
#include "support/UiRecorder.h"

TEST(Strings, MissingStringIsEmpty)
{
    EXPECT_FALSE(LoadResString(IDS_NO_REPLY).empty());
    EXPECT_TRUE(LoadResString(212).empty());
}

TEST(Strings, PlaceholdersAreReplacedByTheirInserts)
{
    EXPECT_EQ("between 1 and 240.", FormatPlaceholders("between %1 and %2.", {"1", "240"}));
    EXPECT_EQ("2 before 1, %3 unknown", FormatPlaceholders("%2 before %1, %3 unknown", {"1", "2"}));
    EXPECT_EQ("100% sure", FormatPlaceholders("100% sure", {}));
}

TEST(Strings, PrintfFormatsTakeSixtyFourBitNumbers)
{
    const std::string text = FormatResString(IDS_MEMORY_FORMAT, 5000000000ULL);
    EXPECT_NE(std::string::npos, text.find("5000000000")) << text;
}

TEST(MessageBoxes, ByNumberUseTheNumberAsHelpContext)
{
    UiRecorder ui;
    AfxMessageBox(IDS_NO_REPLY, MB_ERROR_BOX);
    AfxMessageBox(std::string("assembled"), MB_ERROR_BOX);
    ASSERT_EQ(2u, ui.boxes.size());
    EXPECT_EQ(UiRecorder::Text(IDS_NO_REPLY), ui.boxes[0].text);
    EXPECT_EQ(static_cast<UINT>(IDS_NO_REPLY), ui.boxes[0].helpContext);
    EXPECT_EQ(0u, ui.boxes[1].helpContext);
}

TEST(Application, TitleIsTheExecutableNameWithoutExtension)
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string name = FileNamePart(path);
    name = name.substr(0, name.rfind('.'));
    EXPECT_EQ(name, AfxGetApp()->Title());
}

TEST(Files, NamePartFollowsTheLastSeparator)
{
    EXPECT_EQ("a.syx", FileNamePart("C:\\dumps\\a.syx"));
    EXPECT_EQ("a.syx", FileNamePart("dumps/a.syx"));
    EXPECT_EQ("a.syx", FileNamePart("C:a.syx"));
    EXPECT_EQ("a.syx", FileNamePart("a.syx"));
}

TEST(Files, OpenReadWriteAndTheirFailures)
{
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    const std::string path = std::string(folder) + "sysexdump-framework-file.syx";

    CFile writer;
    ASSERT_TRUE(writer.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive));
    writer.Write("\xF0\x01\xF7", 3);
    EXPECT_EQ("sysexdump-framework-file.syx", writer.GetFileName());
    EXPECT_EQ(3u, writer.GetLength());

    CFile other;
    EXPECT_FALSE(other.Open(path, CFile::modeRead | CFile::shareDenyNone)) << "an exclusive file is shared with no one";
    writer.Close();

    CFile reader;
    ASSERT_TRUE(reader.Open(path, CFile::modeRead | CFile::shareDenyWrite));
    unsigned char bytes[8] = {};
    EXPECT_EQ(3u, reader.Read(bytes, sizeof bytes));
    EXPECT_EQ(0xF7, bytes[2]);

    CFile::SetFaultHook([](CFile::Operation operation, const std::string&) {
        return operation == CFile::Operation::Read ? DWORD(ERROR_READ_FAULT) : DWORD(0);
    });
    bool thrown = false;
    try
    {
        reader.Read(bytes, sizeof bytes);
    }
    catch (const CFileException& error)
    {
        thrown = error.m_lOsError == ERROR_READ_FAULT;
    }
    CFile::SetFaultHook(nullptr);
    EXPECT_TRUE(thrown);
    reader.Close();

    CFile missing;
    DWORD error = 0;
    EXPECT_FALSE(missing.Open(path + ".missing", CFile::modeRead, &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), error);
    DeleteFileA(path.c_str());
}

TEST(Dialogs, ModalRunEndsWithTheGivenResult)
{
    CDialog dialog(IDD_SELECTOR);
    ModalHook hook([](CDialog& running) { running.EndDialog(42); });
    EXPECT_EQ(42, dialog.DoModal());
    EXPECT_EQ(nullptr, dialog.GetSafeHwnd()) << "the window is gone after the run";

    CDialog missing(9999);
    EXPECT_EQ(-1, missing.DoModal());

    CDialog cancelled(IDD_SELECTOR);
    ModalHook cancel([](CDialog& running) { PostMessageA(running.GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0); });
    EXPECT_EQ(IDCANCEL, cancelled.DoModal());
}
