// Sending program and algorithm dump files, program changes and the two device commands.
#include "MainWindowHarness.h"

#include <tuple>
#include <utility>

#include "framework/File.h"
#include "midi/MidiPortState.h"
#include "resources/resource.h"

class SingleDumpSendTest : public MainWindowHarness
{
protected:
    // Sends `file` with the given button; waits until the message has gone out.
    void Send(CMainDialog& dialog, int button, int fileEdit, const std::string& file)
    {
        Type(dialog, fileEdit, file);
        Press(dialog, button);
        EXPECT_TRUE(WaitForPortsClosed());
    }

    ::testing::AssertionResult ShowedFileMessage(UINT id, const std::string& name) const
    {
        return m_ui->ShowedOnly(UiRecorder::Text(id) + name + "!", MB_OK | MB_ICONEXCLAMATION, 0);
    }

    void ChooseSelectorOption(int option)
    {
        AnswerDialog(IDD_SELECTOR, [option](CDialog& selector) {
            HWND button = selector.GetDlgItem(IDC_SELECTOR_FIRST);
            for (int i = 0; i < option; ++i)
                button = GetWindow(button, GW_HWNDNEXT);
            CheckRadioButton(selector.GetSafeHwnd(), IDC_SELECTOR_FIRST, GetDlgCtrlID(button), GetDlgCtrlID(button));
            PostMessageA(selector.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        });
    }
};

TEST_F(SingleDumpSendTest, ProgramFileIsReaddressedToTheSlotWithCommand42)
{
    // A dump as another device might have sent it: other device byte, command and number.
    const Bytes data{0x10, 0x20, 0x30, 0x7F, 0x00};
    Bytes fileBytes{0xF0, 0x00, 0x00, 0x10, 0x05, 0x41, 0x40, 0x01, 0x20};
    fileBytes.insert(fileBytes.end(), data.begin(), data.end());
    fileBytes.push_back(0xF7);
    const std::string file = TempPath("program.syx");
    WriteFileBytes(file, fileBytes);

    const struct
    {
        const char* slot;
        int number;
        std::uint8_t low;
        int device;
    } slots[] = {{"1", 1, 0x00, 1}, {"5", 5, 0x04, 1}, {"100", 100, 0x63, 16}};
    RunMainWindow([&](CMainDialog& dialog) {
        for (const auto& slot : slots)
        {
            // Device number 16 is stamped as 0F; the emulated device listens on 1 and ignores it.
            PortState().deviceNumber = slot.device;
            Type(dialog, IDC_SEND_PROGRAM_SLOT, slot.slot);
            Send(dialog, IDC_SEND_PROGRAM, IDC_SEND_PROGRAM_FILE, file);
            Bytes expected{0xF0, 0x00, 0x00, 0x10, static_cast<std::uint8_t>(slot.device - 1), 0x41, 0x42, 0x00, slot.low};
            expected.insert(expected.end(), data.begin(), data.end());
            expected.push_back(0xF7);
            EXPECT_EQ(expected, SentMessages().back()) << "slot " << slot.slot;
            if (slot.device == 1)
            {
                EXPECT_EQ(data, DeviceSnapshot().Program(slot.number)) << "slot " << slot.slot;
            }
        }
    });
    EXPECT_TRUE(m_ui->ShowedNothing());
    EXPECT_EQ(3u, SentMessages().size());
    EXPECT_EQ(fileBytes, ReadFileBytes(file)) << "the file itself is never changed";
}

// Only the file's length goes out: the stamped bytes beyond it stay in the buffer.
TEST_F(SingleDumpSendTest, FiveByteFileIsSentAsFiveBytes)
{
    const std::string file = TempPath("short.syx");
    WriteFileBytes(file, {0x01, 0x02, 0x03, 0x04, 0x05});
    RunMainWindow([&](CMainDialog& dialog) {
        Type(dialog, IDC_SEND_PROGRAM_SLOT, "100");
        Send(dialog, IDC_SEND_PROGRAM, IDC_SEND_PROGRAM_FILE, file);
        Send(dialog, IDC_SEND_ALGORITHM, IDC_SEND_ALGORITHM_FILE, file);
    });
    EXPECT_EQ((std::vector<Bytes>{{0xF0, 0x00, 0x00, 0x10, 0x00}, {0xF0, 0x00, 0x00, 0x10, 0x00}}), SentMessages());
}

// The algorithm's number is the file's own byte 7; the window's field never enters it.
TEST_F(SingleDumpSendTest, AlgorithmFileKeepsItsOwnNumber)
{
    const std::string file = TempPath("algorithm.syx");
    WriteFileBytes(file, {0x00, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x11, 0x55, 0x66, 0xF7});
    RunMainWindow([&](CMainDialog& dialog) {
        for (const char* number : {"1", "64"})
        {
            Type(dialog, IDC_SEND_ALGORITHM_NUMBER, number);
            Send(dialog, IDC_SEND_ALGORITHM, IDC_SEND_ALGORITHM_FILE, file);
        }
    });
    const Bytes expected{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x30, 0x11, 0x55, 0x66, 0xF7};
    EXPECT_EQ((std::vector<Bytes>{expected, expected}), SentMessages());
    EXPECT_EQ((Bytes{0x55, 0x66}), DeviceSnapshot().Algorithm(0x12));
    EXPECT_TRUE(m_ui->ShowedNothing());
}

TEST_F(SingleDumpSendTest, FileOfOneOutputBufferIsSent)
{
    Bytes fits(4096, 0x01);
    fits.front() = 0xF0;
    fits.back() = 0xF7;
    const std::string file = TempPath("fits.syx");
    WriteFileBytes(file, fits);
    RunMainWindow([&](CMainDialog& dialog) { Send(dialog, IDC_SEND_PROGRAM, IDC_SEND_PROGRAM_FILE, file); });
    ASSERT_EQ(1u, SentMessages().size());
    EXPECT_EQ(4096u, SentMessages()[0].size());
    EXPECT_TRUE(m_ui->ShowedNothing());
}

// Each problem is reported for both sends, and nothing is sent.
TEST_F(SingleDumpSendTest, FileProblemsAreReportedAndNothingOpens)
{
    const std::string dump = TempPath("unreadable.syx");
    WriteFileBytes(dump, {0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x42, 0x00, 0x00, 0x01, 0xF7});
    const std::string large = TempPath("large.syx");
    Bytes tooLarge(4097, 0x01);
    tooLarge.front() = 0xF0;
    tooLarge.back() = 0xF7;
    WriteFileBytes(large, tooLarge);
    const std::string empty = TempPath("empty.syx");
    WriteFileBytes(empty, {});
    const std::string absent = TempPath("absent.syx");
    const struct
    {
        std::string file;
        UINT message;
        std::string name;  // as the message shows it
        bool readFault;
    } cases[] = {
        {large, IDS_DUMP_FILE_TOO_LARGE, "large.syx", false},
        {empty, IDS_FILE_EMPTY, "empty.syx", false},
        {absent, IDS_FILE_OPEN_FAILED, absent, false},
        {dump, IDS_FILE_READ_FAILED, "unreadable.syx", true},
    };
    RunMainWindow([&](CMainDialog& dialog) {
        for (const auto& c : cases)
        {
            CFile::SetFaultHook([&c](CFile::Operation operation, const std::string&) -> DWORD {
                return c.readFault && operation == CFile::Operation::Read ? ERROR_READ_FAULT : 0;
            });
            for (const auto& [button, edit] : {std::pair{IDC_SEND_PROGRAM, IDC_SEND_PROGRAM_FILE},
                                              std::pair{IDC_SEND_ALGORITHM, IDC_SEND_ALGORITHM_FILE}})
            {
                SCOPED_TRACE(c.name + ", button " + std::to_string(button));
                m_ui->boxes.clear();
                const int opened = m_driver->CallCount(MidiCall::OutOpen);
                Type(dialog, edit, c.file);
                Press(dialog, button);
                EXPECT_TRUE(ShowedFileMessage(c.message, c.name));
                // The read comes after the opening; every other problem is found before it.
                if (!c.readFault)
                {
                    EXPECT_EQ(opened, m_driver->CallCount(MidiCall::OutOpen));
                }
            }
        }
        CFile::SetFaultHook(nullptr);
        // An empty name is refused with the focus on its field, for the receives as well.
        for (const auto& [button, edit, message] :
             {std::tuple{IDC_SEND_PROGRAM, IDC_SEND_PROGRAM_FILE, IDS_NO_SEND_FILE},
              std::tuple{IDC_SEND_ALGORITHM, IDC_SEND_ALGORITHM_FILE, IDS_NO_SEND_FILE},
              std::tuple{IDC_RECEIVE_PROGRAM, IDC_RECEIVE_PROGRAM_FILE, IDS_NO_RECEIVE_FILE},
              std::tuple{IDC_RECEIVE_ALGORITHM, IDC_RECEIVE_ALGORITHM_FILE, IDS_NO_RECEIVE_FILE}})
        {
            SCOPED_TRACE("empty name, button " + std::to_string(button));
            m_ui->boxes.clear();
            Type(dialog, edit, "");
            SetFocus(dialog.GetDlgItem(button));
            Press(dialog, button);
            EXPECT_TRUE(m_ui->ShowedOnlyString(message, MB_OK | MB_ICONEXCLAMATION));
            EXPECT_EQ(edit, FocusedId());
        }
    });
    EXPECT_TRUE(SentMessages().empty());
    EXPECT_EQ(0, m_driver->CallCount(MidiCall::InOpen));
}

TEST_F(SingleDumpSendTest, OutputThatCannotBeOpenedIsReportedForSendsAndProgramChange)
{
    const std::string file = TempPath("program.syx");
    WriteFileBytes(file, {0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x42, 0x00, 0x00, 0x01, 0xF7});
    RunMainWindow([&](CMainDialog& dialog) {
        for (int button : {IDC_SEND_PROGRAM, IDC_PROGRAM_CHANGE})
        {
            m_ui->boxes.clear();
            m_driver->FailCall(MidiCall::OutOpen, MMSYSERR_ALLOCATED);
            Type(dialog, IDC_SEND_PROGRAM_FILE, file);
            Press(dialog, button);
            EXPECT_TRUE(m_ui->ShowedOnlyString(IDS_OUTPUT_OPEN_FAILED, MB_OK | MB_ICONEXCLAMATION))
                << "button " << button;
        }
    });
    EXPECT_TRUE(SentMessages().empty());
    EXPECT_TRUE(m_driver->ShortMessages().empty());
}

// The device number is the MIDI channel of the program change.
TEST_F(SingleDumpSendTest, ProgramChangeGoesOutOnTheDeviceChannel)
{
    RunMainWindow([&](CMainDialog& dialog) {
        Press(dialog, IDC_PROGRAM_CHANGE);
        EXPECT_EQ(0, m_driver->OpenOutputPortCount());
        PortState().deviceNumber = 16;
        Type(dialog, IDC_PROGRAM_CHANGE_NUMBER, "128");
        Press(dialog, IDC_PROGRAM_CHANGE);
        EXPECT_EQ(0, m_driver->OpenOutputPortCount());
    });
    EXPECT_EQ((std::vector<DWORD>{0x00C0, 0x7FCF}), m_driver->ShortMessages());
    EXPECT_TRUE(SentMessages().empty());
    EXPECT_TRUE(m_ui->ShowedNothing());
}

// The commands do not read the window's fields, so a bad one does not stop them.
TEST_F(SingleDumpSendTest, Command21IsConfirmedAndRunsWithAnInvalidField)
{
    RunMainWindow([&](CMainDialog& dialog) {
        Type(dialog, IDC_RECEIVE_PROGRAM_NUMBER, "abc");
        m_ui->AnswerNextBoxes({IDNO});
        Press(dialog, IDC_COMMAND21);
        EXPECT_TRUE(m_ui->ShowedOnlyString(IDS_CONFIRM_COMMAND21, MB_YESNO));
        EXPECT_EQ(0, m_driver->CallCount(MidiCall::OutOpen));

        m_ui->boxes.clear();
        m_ui->AnswerNextBoxes({IDYES});
        Press(dialog, IDC_COMMAND21);
        EXPECT_TRUE(WaitForPortsClosed());
        EXPECT_TRUE(m_ui->ShowedOnlyString(IDS_CONFIRM_COMMAND21, MB_YESNO));
    });
    EXPECT_EQ((std::vector<Bytes>{{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x21, 0xF7}}), SentMessages());
}

TEST_F(SingleDumpSendTest, Command22SendsTheChosenOptionAfterItsOwnQuestion)
{
    const UINT questions[] = {IDS_CONFIRM_COMMAND22_FIRST, IDS_CONFIRM_COMMAND22_SECOND, IDS_CONFIRM_COMMAND22_THIRD};
    RunMainWindow([&](CMainDialog& dialog) {
        Type(dialog, IDC_SEND_PROGRAM_SLOT, "0");
        for (int option = 0; option < 3; ++option)
        {
            SCOPED_TRACE("option " + std::to_string(option));
            m_ui->boxes.clear();
            ChooseSelectorOption(option);
            Press(dialog, IDC_COMMAND22);
            EXPECT_TRUE(WaitForPortsClosed());
            EXPECT_TRUE(m_ui->ShowedOnlyString(questions[option], MB_YESNO));
            EXPECT_EQ((Bytes{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x22, static_cast<std::uint8_t>(option), 0x00, 0xF7}),
                      SentMessages().back());
        }
    });
    EXPECT_EQ(3u, SentMessages().size());
    EXPECT_TRUE(m_otherDialogs.empty());
}

TEST_F(SingleDumpSendTest, Command22SendsNothingWhenTheSelectorIsCancelledOrTheAnswerIsNo)
{
    RunMainWindow([&](CMainDialog& dialog) {
        // Unanswered, the selector is cancelled.
        Press(dialog, IDC_COMMAND22);
        EXPECT_EQ(std::vector<UINT>{IDD_SELECTOR}, m_otherDialogs);
        EXPECT_TRUE(m_ui->ShowedNothing());

        ChooseSelectorOption(2);
        m_ui->AnswerNextBoxes({IDNO});
        Press(dialog, IDC_COMMAND22);
        EXPECT_TRUE(m_ui->ShowedOnlyString(IDS_CONFIRM_COMMAND22_THIRD, MB_YESNO));
    });
    EXPECT_EQ(0, m_driver->CallCount(MidiCall::OutOpen));
    EXPECT_TRUE(SentMessages().empty());
}

// A message the driver refuses is reported, and leaves no port open, no header prepared and
// no control disabled, whichever operation sent it.
TEST_F(SingleDumpSendTest, RefusedMessageIsReportedAndClosesItsTransaction)
{
    const std::string file = TempPath("program.syx");
    WriteFileBytes(file, {0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x42, 0x00, 0x00, 0x01, 0xF7});
    const std::string refused = Formatted(IDS_SEND_REFUSED, {std::to_string(MIDIERR_NOTREADY)});
    RunMainWindow([&](CMainDialog& dialog) {
        Type(dialog, IDC_SEND_PROGRAM_FILE, file);
        Type(dialog, IDC_RECEIVE_PROGRAM_FILE, TempPath("received.syx"));
        for (int button : {IDC_SEND_PROGRAM, IDC_COMMAND21, IDC_RECEIVE_PROGRAM})
        {
            SCOPED_TRACE("button " + std::to_string(button));
            m_ui->boxes.clear();
            m_driver->FailCall(MidiCall::OutLongMsg, MIDIERR_NOTREADY);
            Press(dialog, button);
            EXPECT_EQ(refused, m_ui->boxes.back().text);
            EXPECT_EQ(0, m_driver->OpenInputPortCount() + m_driver->OpenOutputPortCount());
            EXPECT_EQ(0, m_driver->PreparedHeaderCount());
            EXPECT_TRUE(IsWindowEnabled(dialog.GetDlgItem(button)));
        }
    });
    EXPECT_TRUE(SentMessages().empty());
}

// While a message is still on its way, every operation that needs the output port is
// refused with its own message; the message goes out whole, and afterwards the same
// operation works.
TEST_F(SingleDumpSendTest, OperationWhileAMessageIsGoingOutIsRefusedUntilItHasGoneOut)
{
    m_driver->SetPace(EmulatedMidiDriver::Pace::WireRate);  // 3000 bytes: almost a second
    Bytes program(3000, 0x01);
    const Bytes header{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x42, 0x00, 0x04};
    std::copy(header.begin(), header.end(), program.begin());
    program.back() = 0xF7;
    const std::string file = TempPath("program.syx");
    WriteFileBytes(file, program);
    const int refusedOperations[] = {IDC_SEND_PROGRAM,    IDC_SEND_ALGORITHM, IDC_PROGRAM_CHANGE, IDC_COMMAND21,
                                     IDC_RECEIVE_PROGRAM, IDC_RECEIVE_BULK,   IDC_SEND_BULK};
    RunMainWindow([&](CMainDialog& dialog) {
        for (int edit : {IDC_SEND_PROGRAM_FILE, IDC_SEND_ALGORITHM_FILE, IDC_SEND_BULK_FILE})
            Type(dialog, edit, file);
        Type(dialog, IDC_SEND_PROGRAM_SLOT, "5");
        Type(dialog, IDC_RECEIVE_PROGRAM_FILE, TempPath("received.syx"));
        Type(dialog, IDC_RECEIVE_BULK_FILE, TempPath("bulk.syx"));
        Press(dialog, IDC_SEND_PROGRAM);
        for (int button : refusedOperations)
        {
            SCOPED_TRACE("button " + std::to_string(button));
            m_ui->boxes.clear();
            Press(dialog, button);
            ASSERT_FALSE(m_ui->boxes.empty());
            EXPECT_EQ(UiRecorder::Text(IDS_STILL_SENDING), m_ui->boxes.back().text);
        }
        EXPECT_TRUE(m_otherDialogs.empty());
        ASSERT_TRUE(WaitForPortsClosed());
        m_ui->boxes.clear();
        Press(dialog, IDC_SEND_PROGRAM);
        EXPECT_TRUE(WaitForPortsClosed());
    });
    EXPECT_TRUE(m_ui->ShowedNothing());
    EXPECT_EQ(2u, SentMessages().size());
    EXPECT_TRUE(m_driver->ShortMessages().empty());
    EXPECT_EQ(Bytes(program.begin() + 9, program.end() - 1), DeviceSnapshot().Program(5)) << "the dump arrived cut short";
}
