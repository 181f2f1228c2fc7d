// Requesting one program or algorithm dump from the device and storing the reply.
#include "MainWindowHarness.h"

#include "framework/File.h"
#include "midi/MidiPortState.h"
#include "resources/resource.h"
#include "support/Pump.h"

class SingleDumpReceiveTest : public MainWindowHarness
{
protected:
    // Receives into `file` with the number typed into its field; waits for the box that
    // ends the transfer.
    void Receive(CMainDialog& dialog, int button, int numberEdit, int fileEdit, const std::string& number,
                 const std::string& file)
    {
        const size_t shown = m_ui->boxes.size();
        Type(dialog, numberEdit, number);
        Type(dialog, fileEdit, file);
        Press(dialog, button);
        EXPECT_TRUE(WaitForBoxes(shown + 1)) << "no box after the request";
        EXPECT_TRUE(WaitForPortsClosed());
    }

    ::testing::AssertionResult Stored(const std::string& name) const
    {
        return m_ui->ShowedOnly(Formatted(IDS_DUMP_STORED, {name}), MB_OK, 0);
    }

    // Identifiers of the window's enabled controls, labels included.
    static std::vector<int> EnabledControls(CDialog& dialog)
    {
        std::vector<int> enabled;
        for (HWND child = GetWindow(dialog.GetSafeHwnd(), GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT))
            if (IsWindowEnabled(child))
                enabled.push_back(GetDlgCtrlID(child));
        return enabled;
    }

    static bool AllControlsEnabled(CDialog& dialog)
    {
        for (HWND child = GetWindow(dialog.GetSafeHwnd(), GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT))
            if (!IsWindowEnabled(child))
                return false;
        return true;
    }

    std::vector<std::string> LeftoverFiles(const std::string& pattern) const
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(TempPath(pattern).c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return names;
        do
            if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..")
                names.push_back(found.cFileName);
        while (FindNextFileA(search, &found));
        FindClose(search);
        return names;
    }
};

// Program numbers travel as bit 7 and the low seven bits of number - 1, the algorithm as
// number - 1; device number 16 is addressed as 0F.
TEST_F(SingleDumpReceiveTest, RequestsEncodeTheNumberAndTheReplyIsStoredAsReceived)
{
    const struct
    {
        bool algorithm;
        const char* number;
        int device;
        Bytes request;
    } cases[] = {
        {false, "1", 1, {0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x01, 0x00, 0x00, 0xF7}},
        {false, " 12 ", 1, {0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x01, 0x00, 0x0B, 0xF7}},
        {false, "128", 1, {0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x01, 0x00, 0x7F, 0xF7}},
        {false, "129", 1, {0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x01, 0x01, 0x00, 0xF7}},
        {false, "240", 16, {0xF0, 0x00, 0x00, 0x10, 0x0F, 0x41, 0x01, 0x01, 0x6F, 0xF7}},
        {true, "127", 1, {0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x31, 0x7E, 0xF7}},
    };
    RunMainWindow([&](CMainDialog& dialog) {
        for (const auto& test : cases)
        {
            SCOPED_TRACE(std::string(test.algorithm ? "algorithm " : "program ") + test.number);
            m_ui->boxes.clear();
            PortState().deviceNumber = test.device;
            m_driver->WithDevice([&](EmulatedDevice& device) { device.SetDeviceNumber(test.device); });
            const int number = std::stoi(test.number);
            const std::string file = TempPath((test.algorithm ? "algorithm" : "program") + std::to_string(number) + ".syx");
            if (test.algorithm)
                Receive(dialog, IDC_RECEIVE_ALGORITHM, IDC_RECEIVE_ALGORITHM_NUMBER, IDC_RECEIVE_ALGORITHM_FILE,
                        test.number, file);
            else
                Receive(dialog, IDC_RECEIVE_PROGRAM, IDC_RECEIVE_PROGRAM_NUMBER, IDC_RECEIVE_PROGRAM_FILE, test.number,
                        file);
            EXPECT_EQ(test.request, SentMessages().back());
            Bytes expected;
            m_driver->WithDevice([&](EmulatedDevice& device) {
                expected = test.algorithm ? device.AlgorithmMessage(number) : device.ProgramMessage(number);
            });
            EXPECT_EQ(expected, ReadFileBytes(file));
            // The note names the file without its folder.
            EXPECT_TRUE(Stored(FileNamePart(file)));
            EXPECT_TRUE(AllControlsEnabled(dialog));
        }
    });
    EXPECT_EQ(std::size(cases), SentMessages().size());
}

// A reply larger than one input buffer arrives as a full buffer and a rest ending in F7.
TEST_F(SingleDumpReceiveTest, ReplySpanningTwoInputBuffersIsStoredWholeOverAnExistingFile)
{
    const std::string file = TempPath("big.syx");
    WriteFileBytes(file, {0xF0, 0x01, 0xF7});
    m_driver->SetBlockSizes({4096, 904});
    RunMainWindow([&](CMainDialog& dialog) {
        m_ui->AnswerNextBoxes({IDYES});
        Receive(dialog, IDC_RECEIVE_PROGRAM, IDC_RECEIVE_PROGRAM_NUMBER, IDC_RECEIVE_PROGRAM_FILE, "200", file);
        WaitForBoxes(2);
    });
    const Bytes expected = ProgramMessage(200);
    ASSERT_EQ(5000u, expected.size());
    EXPECT_EQ(expected, ReadFileBytes(file));
    ASSERT_EQ(2u, m_ui->boxes.size());
    EXPECT_EQ(UiRecorder::Text(IDS_CONFIRM_OVERWRITE), m_ui->boxes[0].text);
    EXPECT_EQ(UINT(MB_YESNO), m_ui->boxes[0].type);
    EXPECT_EQ(UINT(IDS_CONFIRM_OVERWRITE), m_ui->boxes[0].helpContext);
    EXPECT_EQ(Formatted(IDS_DUMP_STORED, {"big.syx"}), m_ui->boxes[1].text);
    EXPECT_EQ(UINT(MB_OK), m_ui->boxes[1].type);
}

TEST_F(SingleDumpReceiveTest, NoToTheOverwriteQuestionLeavesTheFileAndSendsNothing)
{
    const std::string file = TempPath("keep.syx");
    const Bytes old{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x42, 0x00, 0x00, 0x55, 0xF7};
    WriteFileBytes(file, old);
    RunMainWindow([&](CMainDialog& dialog) {
        m_ui->AnswerNextBoxes({IDNO});
        Type(dialog, IDC_RECEIVE_ALGORITHM_FILE, file);
        Press(dialog, IDC_RECEIVE_ALGORITHM);
    });
    EXPECT_TRUE(m_ui->ShowedOnlyString(IDS_CONFIRM_OVERWRITE, MB_YESNO));
    EXPECT_EQ(old, ReadFileBytes(file));
    EXPECT_EQ(0, m_driver->CallCount(MidiCall::OutOpen));
    EXPECT_EQ(0, m_driver->CallCount(MidiCall::InOpen));
}

TEST_F(SingleDumpReceiveTest, FileInAMissingFolderIsReportedWithTheNameAsTyped)
{
    const std::string file = TempPath("missing\\a.syx");
    RunMainWindow([&](CMainDialog& dialog) {
        Receive(dialog, IDC_RECEIVE_PROGRAM, IDC_RECEIVE_PROGRAM_NUMBER, IDC_RECEIVE_PROGRAM_FILE, "5", file);
        EXPECT_TRUE(AllControlsEnabled(dialog));
    });
    EXPECT_TRUE(m_ui->ShowedOnly(UiRecorder::Text(IDS_FILE_OPEN_FAILED) + file + "!", MB_OK | MB_ICONEXCLAMATION, 0));
    EXPECT_FALSE(FileExists(file));
}

// A failed write keeps what the file held before and leaves nothing beside it.
TEST_F(SingleDumpReceiveTest, FailedWriteKeepsTheOldFile)
{
    const std::string file = TempPath("old.syx");
    const Bytes old{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x42, 0x00, 0x09, 0x11, 0x22, 0xF7};
    WriteFileBytes(file, old);
    CFile::SetFaultHook([](CFile::Operation operation, const std::string&) -> DWORD {
        return operation == CFile::Operation::Write ? ERROR_DISK_FULL : 0;
    });
    RunMainWindow([&](CMainDialog& dialog) {
        m_ui->AnswerNextBoxes({IDYES});
        Receive(dialog, IDC_RECEIVE_PROGRAM, IDC_RECEIVE_PROGRAM_NUMBER, IDC_RECEIVE_PROGRAM_FILE, "9", file);
        WaitForBoxes(2);
    });
    ASSERT_EQ(2u, m_ui->boxes.size());
    EXPECT_EQ(UINT(IDS_CONFIRM_OVERWRITE), m_ui->boxes[0].helpContext);
    EXPECT_EQ(UiRecorder::Text(IDS_FILE_WRITE_FAILED) + "old.syx!", m_ui->boxes[1].text);
    EXPECT_EQ(UINT(MB_OK | MB_ICONEXCLAMATION), m_ui->boxes[1].type);
    EXPECT_EQ(old, ReadFileBytes(file));
    EXPECT_EQ(std::vector<std::string>{"old.syx"}, LeftoverFiles("*"));
}

TEST_F(SingleDumpReceiveTest, ErrorReplyShowsTheDeviceTextAndStoresNothing)
{
    m_driver->WithDevice([](EmulatedDevice& device) {
        device.SetReplyMode(EmulatedDevice::ReplyMode::ErrorReply);
        device.SetErrorCodes(1, 3);
    });
    const std::string file = TempPath("error.syx");
    RunMainWindow([&](CMainDialog& dialog) {
        Receive(dialog, IDC_RECEIVE_PROGRAM, IDC_RECEIVE_PROGRAM_NUMBER, IDC_RECEIVE_PROGRAM_FILE, "1", file);
        EXPECT_TRUE(AllControlsEnabled(dialog));

        // Codes 1 and 2 name a text the module does not have: the general one stands in.
        m_driver->WithDevice([](EmulatedDevice& device) { device.SetErrorCodes(1, 2); });
        Receive(dialog, IDC_RECEIVE_PROGRAM, IDC_RECEIVE_PROGRAM_NUMBER, IDC_RECEIVE_PROGRAM_FILE, "1", file);
    });
    ASSERT_EQ(2u, m_ui->boxes.size());
    ASSERT_FALSE(UiRecorder::Text(213).empty());
    ASSERT_TRUE(UiRecorder::Text(212).empty());
    EXPECT_EQ(UiRecorder::Text(213), m_ui->boxes[0].text);
    EXPECT_EQ(UINT(MB_OK | MB_ICONEXCLAMATION), m_ui->boxes[0].type);
    EXPECT_EQ(UiRecorder::Text(IDS_DEVICE_ERROR_UNKNOWN), m_ui->boxes[1].text);
    EXPECT_EQ(UINT(MB_OK | MB_ICONEXCLAMATION), m_ui->boxes[1].type);
    EXPECT_FALSE(FileExists(file));
}

// The one test that waits the full five seconds of the reply time-out.
TEST_F(SingleDumpReceiveTest, SilentDeviceTimesOutAfterFiveSecondsAndTheNextRequestWorks)
{
    SetReplyMode(EmulatedDevice::ReplyMode::Silent);
    const std::string file = TempPath("silent.syx");
    RunMainWindow([&](CMainDialog& dialog) {
        Type(dialog, IDC_RECEIVE_PROGRAM_FILE, file);
        const ULONGLONG pressed = GetTickCount64();
        Press(dialog, IDC_RECEIVE_PROGRAM);
        EXPECT_EQ(std::vector<int>{IDCANCEL}, EnabledControls(dialog));

        ASSERT_TRUE(WaitForBoxes(1, 10000));
        const ULONGLONG waited = GetTickCount64() - pressed;
        EXPECT_GE(waited, 4900u);
        EXPECT_LT(waited, 7500u);
        EXPECT_TRUE(m_ui->ShowedOnlyString(IDS_NO_REPLY, MB_OK | MB_ICONEXCLAMATION));
        EXPECT_TRUE(AllControlsEnabled(dialog));
        EXPECT_EQ(0, m_driver->OpenInputPortCount());
        EXPECT_EQ(0, m_driver->PreparedHeaderCount());
        EXPECT_FALSE(FileExists(file));

        m_ui->boxes.clear();
        SetReplyMode(EmulatedDevice::ReplyMode::Normal);
        Receive(dialog, IDC_RECEIVE_PROGRAM, IDC_RECEIVE_PROGRAM_NUMBER, IDC_RECEIVE_PROGRAM_FILE, "2", file);
        EXPECT_TRUE(Stored("silent.syx"));
    });
    EXPECT_EQ(ProgramMessage(2), ReadFileBytes(file));
}

// Cancel is the only control left while the window waits; it closes the window with the
// request outstanding, and the ports must be closed before the buffers go away.
TEST_F(SingleDumpReceiveTest, ClosingTheWindowWhileWaitingClosesThePorts)
{
    SetReplyMode(EmulatedDevice::ReplyMode::Silent);
    const std::string file = TempPath("never.syx");
    const INT_PTR result = RunMainWindow([&](CMainDialog& dialog) {
        Type(dialog, IDC_RECEIVE_ALGORITHM_FILE, file);
        Press(dialog, IDC_RECEIVE_ALGORITHM);
        EXPECT_EQ(std::vector<int>{IDCANCEL}, EnabledControls(dialog));
        ASSERT_TRUE(PumpUntil([&] { return m_driver->OpenOutputPortCount() == 0; }));
        EXPECT_EQ(1, m_driver->OpenInputPortCount());
        EXPECT_EQ(3, m_driver->PreparedInputHeaderCount());
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(0, m_driver->OpenInputPortCount());
    EXPECT_EQ(0, m_driver->PreparedHeaderCount());
    EXPECT_TRUE(m_ui->ShowedNothing());
    EXPECT_FALSE(FileExists(file));
}
