// The main window itself: defaults, spin ranges, system menu, validation of its fields and
// the two browse operations.
#include "MainWindowHarness.h"

#include <commctrl.h>

#include "resources/resource.h"

namespace
{
constexpr char SysExFilter[] = "Sysex files (*.syx)|*.syx|All files (*.*)|*.*||";

struct FileField
{
    int browseButton;
    int edit;
    std::string CMainDialog::*member;
    UINT title;
    bool mustExist;
};

const FileField FileFields[] = {
    {IDC_BROWSE_RECEIVE_PROGRAM, IDC_RECEIVE_PROGRAM_FILE, &CMainDialog::m_receiveProgramFile,
     IDS_RECEIVE_FILE_TITLE, false},
    {IDC_BROWSE_RECEIVE_ALGORITHM, IDC_RECEIVE_ALGORITHM_FILE, &CMainDialog::m_receiveAlgorithmFile,
     IDS_RECEIVE_FILE_TITLE, false},
    {IDC_BROWSE_RECEIVE_BULK, IDC_RECEIVE_BULK_FILE, &CMainDialog::m_receiveBulkFile, IDS_RECEIVE_FILE_TITLE,
     false},
    {IDC_BROWSE_SEND_PROGRAM, IDC_SEND_PROGRAM_FILE, &CMainDialog::m_sendProgramFile, IDS_SEND_FILE_TITLE, true},
    {IDC_BROWSE_SEND_ALGORITHM, IDC_SEND_ALGORITHM_FILE, &CMainDialog::m_sendAlgorithmFile, IDS_SEND_FILE_TITLE,
     true},
    {IDC_BROWSE_SEND_BULK, IDC_SEND_BULK_FILE, &CMainDialog::m_sendBulkFile, IDS_SEND_FILE_TITLE, true},
};
}

class MainWindowTest : public MainWindowHarness
{
protected:
    // Presses `button` the way a click does: the button takes the focus first.
    static void Click(CDialog& dialog, int button)
    {
        SetFocus(dialog.GetDlgItem(button));
        Press(dialog, button);
    }

    // The field refused by the last validation holds the focus with its whole text selected.
    static ::testing::AssertionResult FocusedAndSelected(CDialog& dialog, int id)
    {
        if (FocusedId() != id)
            return ::testing::AssertionFailure() << "focus on " << FocusedId() << ", not on " << id;
        const auto [start, end] = Selection(dialog, id);
        const DWORD length = static_cast<DWORD>(TextOf(dialog, id).size());
        if (start != 0 || end != length)
            return ::testing::AssertionFailure() << "selection " << start << ".." << end << " of " << length;
        return ::testing::AssertionSuccess();
    }

    ::testing::AssertionResult RefusedOutOfRange(int lower, int upper) const
    {
        return m_ui->ShowedOnly(Formatted(AFX_IDP_PARSE_INT_RANGE, {std::to_string(lower), std::to_string(upper)}),
                                MB_OK | MB_ICONEXCLAMATION, AFX_IDP_PARSE_INT_RANGE);
    }

    int SpinUpper(CDialog& dialog, int spin) const
    {
        int lower = 0;
        int upper = 0;
        SendMessageA(dialog.GetDlgItem(spin), UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower),
                     reinterpret_cast<LPARAM>(&upper));
        EXPECT_EQ(1, lower) << "spin " << spin;
        return upper;
    }
};

TEST_F(MainWindowTest, FreshWindowShowsDefaultsSpinRangesAboutItemAndIcon)
{
    RunMainWindow([&](CMainDialog& dialog) {
        for (int id : {IDC_RECEIVE_PROGRAM_NUMBER, IDC_SEND_PROGRAM_SLOT, IDC_PROGRAM_CHANGE_NUMBER,
                       IDC_RECEIVE_ALGORITHM_NUMBER, IDC_SEND_ALGORITHM_NUMBER})
            EXPECT_EQ("1", TextOf(dialog, id)) << "edit " << id;
        EXPECT_EQ("ProgramDump.syx", TextOf(dialog, IDC_RECEIVE_PROGRAM_FILE));
        EXPECT_EQ("ProgramDump.syx", TextOf(dialog, IDC_SEND_PROGRAM_FILE));
        EXPECT_EQ("AlgorithmDump.syx", TextOf(dialog, IDC_RECEIVE_ALGORITHM_FILE));
        EXPECT_EQ("AlgorithmDump.syx", TextOf(dialog, IDC_SEND_ALGORITHM_FILE));
        EXPECT_EQ("BulkDump.syx", TextOf(dialog, IDC_RECEIVE_BULK_FILE));
        EXPECT_EQ("BulkDump.syx", TextOf(dialog, IDC_SEND_BULK_FILE));

        EXPECT_EQ(240, SpinUpper(dialog, IDC_RECEIVE_PROGRAM_SPIN));
        EXPECT_EQ(100, SpinUpper(dialog, IDC_SEND_PROGRAM_SPIN));
        EXPECT_EQ(127, SpinUpper(dialog, IDC_RECEIVE_ALGORITHM_SPIN));
        // Wider than its field accepts: the field is checked when an operation reads it.
        EXPECT_EQ(127, SpinUpper(dialog, IDC_SEND_ALGORITHM_SPIN));
        EXPECT_EQ(128, SpinUpper(dialog, IDC_PROGRAM_CHANGE_SPIN));

        HMENU menu = GetSystemMenu(dialog.GetSafeHwnd(), FALSE);
        ASSERT_NE(nullptr, menu);
        const int count = GetMenuItemCount(menu);
        ASSERT_GE(count, 2);
        EXPECT_EQ(IDM_ABOUTBOX, static_cast<int>(GetMenuItemID(menu, count - 1)));
        char text[256] = {};
        GetMenuStringA(menu, IDM_ABOUTBOX, text, sizeof text, MF_BYCOMMAND);
        EXPECT_EQ(UiRecorder::Text(IDS_ABOUTBOX), text);
        MENUITEMINFOA separator{};
        separator.cbSize = sizeof separator;
        separator.fMask = MIIM_FTYPE;
        ASSERT_TRUE(GetMenuItemInfoA(menu, count - 2, TRUE, &separator));
        EXPECT_TRUE(separator.fType & MFT_SEPARATOR);

        ASSERT_NE(nullptr, dialog.m_icon);
        const HWND window = dialog.GetSafeHwnd();
        EXPECT_EQ(reinterpret_cast<LRESULT>(dialog.m_icon), SendMessageA(window, WM_GETICON, ICON_BIG, 0));
        EXPECT_EQ(reinterpret_cast<LRESULT>(dialog.m_icon), SendMessageA(window, WM_GETICON, ICON_SMALL, 0));
        EXPECT_EQ(reinterpret_cast<LRESULT>(dialog.m_icon), SendMessageA(window, WM_QUERYDRAGICON, 0, 0));
    });
    EXPECT_TRUE(m_ui->ShowedNothing());
}

TEST_F(MainWindowTest, SystemCommandsSixteenToThirtyOneOpenTheAboutBox)
{
    int aboutRuns = 0;
    AnswerDialog(IDD_ABOUT, [&](CDialog& about) {
        ++aboutRuns;
        PostMessageA(about.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    RunMainWindow([&](CMainDialog& dialog) {
        SendMessageA(dialog.GetSafeHwnd(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        EXPECT_EQ(1, aboutRuns);
        SendMessageA(dialog.GetSafeHwnd(), WM_SYSCOMMAND, IDM_ABOUTBOX + 15, 0);
        EXPECT_EQ(2, aboutRuns);
        SendMessageA(dialog.GetSafeHwnd(), WM_SYSCOMMAND, IDM_ABOUTBOX + 16, 0);
        EXPECT_EQ(2, aboutRuns) << "command 32 is not the about entry";
    });
    EXPECT_TRUE(m_otherDialogs.empty());
}

// Edit 1008 read by the program change button, which validates and sends nothing else
// that depends on the field.
TEST_F(MainWindowTest, ProgramNumberFieldAcceptsOnlyWholeNumbersFrom1To240)
{
    struct Case
    {
        const char* text;
        UINT prompt; // 0: accepted
        int value;
    };
    const Case cases[] = {
        {"1", 0, 1},      {"240", 0, 240},  {" 12 ", 0, 12}, {"12a", AFX_IDP_PARSE_INT, 0},
        {"0", AFX_IDP_PARSE_INT_RANGE, 0},  {"241", AFX_IDP_PARSE_INT_RANGE, 0},
        {"256", AFX_IDP_PARSE_INT_RANGE, 0}, {"-1", AFX_IDP_PARSE_INT_RANGE, 0},
    };
    RunMainWindow([&](CMainDialog& dialog) {
        for (const Case& test : cases)
        {
            SCOPED_TRACE(std::string("field holds [") + test.text + "]");
            m_ui->boxes.clear();
            const size_t sent = m_driver->ShortMessages().size();
            Type(dialog, IDC_RECEIVE_PROGRAM_NUMBER, test.text);
            Click(dialog, IDC_PROGRAM_CHANGE);
            if (test.prompt == 0)
            {
                EXPECT_TRUE(m_ui->ShowedNothing());
                EXPECT_EQ(test.value, dialog.m_receiveProgramNumber);
                EXPECT_EQ(sent + 1, m_driver->ShortMessages().size());
                continue;
            }
            if (test.prompt == AFX_IDP_PARSE_INT)
                EXPECT_TRUE(m_ui->ShowedOnly(UiRecorder::Text(AFX_IDP_PARSE_INT), MB_OK, AFX_IDP_PARSE_INT));
            else
                EXPECT_TRUE(RefusedOutOfRange(1, 240));
            EXPECT_TRUE(FocusedAndSelected(dialog, IDC_RECEIVE_PROGRAM_NUMBER));
            EXPECT_EQ(sent, m_driver->ShortMessages().size()) << "a refused field must stop the operation";
        }
    });
}

// Every number and name is checked in a fixed order and only the first bad one is reported;
// putting each right in turn walks the whole order.
TEST_F(MainWindowTest, OnlyTheFirstBadFieldIsReportedInExchangeOrder)
{
    const std::string tooLong(257, 'n');
    RunMainWindow([&](CMainDialog& dialog) {
        Type(dialog, IDC_RECEIVE_PROGRAM_NUMBER, "0");
        Type(dialog, IDC_SEND_PROGRAM_SLOT, "101");
        Type(dialog, IDC_PROGRAM_CHANGE_NUMBER, "129");
        Type(dialog, IDC_RECEIVE_ALGORITHM_NUMBER, "x");
        Type(dialog, IDC_SEND_ALGORITHM_NUMBER, "65");
        Type(dialog, IDC_SEND_BULK_FILE, tooLong);

        struct Step
        {
            int field;
            const char* correction;
            UINT prompt;
            int lower, upper;
        };
        const Step steps[] = {
            {IDC_RECEIVE_PROGRAM_NUMBER, "200", AFX_IDP_PARSE_INT_RANGE, 1, 240},
            {IDC_SEND_PROGRAM_SLOT, "100", AFX_IDP_PARSE_INT_RANGE, 1, 100},
            {IDC_PROGRAM_CHANGE_NUMBER, "128", AFX_IDP_PARSE_INT_RANGE, 1, 128},
            {IDC_RECEIVE_ALGORITHM_NUMBER, "127", AFX_IDP_PARSE_INT, 0, 0},
            {IDC_SEND_ALGORITHM_NUMBER, "64", AFX_IDP_PARSE_INT_RANGE, 1, 64},
            {IDC_SEND_BULK_FILE, "b.syx", AFX_IDP_PARSE_STRING_SIZE, 0, 0},
        };
        for (const Step& step : steps)
        {
            SCOPED_TRACE("field " + std::to_string(step.field));
            m_ui->boxes.clear();
            Click(dialog, IDC_PROGRAM_CHANGE);
            if (step.prompt == AFX_IDP_PARSE_INT_RANGE)
                EXPECT_TRUE(RefusedOutOfRange(step.lower, step.upper));
            else if (step.prompt == AFX_IDP_PARSE_INT)
                EXPECT_TRUE(m_ui->ShowedOnly(UiRecorder::Text(AFX_IDP_PARSE_INT), MB_OK, AFX_IDP_PARSE_INT));
            else
                EXPECT_TRUE(m_ui->ShowedOnly(Formatted(AFX_IDP_PARSE_STRING_SIZE, {"256"}),
                                             MB_OK | MB_ICONEXCLAMATION, AFX_IDP_PARSE_STRING_SIZE));
            EXPECT_TRUE(FocusedAndSelected(dialog, step.field));
            EXPECT_TRUE(m_driver->ShortMessages().empty());
            Type(dialog, step.field, step.correction);
        }
        // Fields read before a refusal keep what was read.
        EXPECT_EQ(200, dialog.m_receiveProgramNumber);
        EXPECT_EQ(100, dialog.m_sendProgramSlot);

        m_ui->boxes.clear();
        Click(dialog, IDC_PROGRAM_CHANGE);
        EXPECT_TRUE(m_ui->ShowedNothing());
        EXPECT_EQ(std::vector<DWORD>{0x7FC0}, m_driver->ShortMessages());
    });
}

TEST_F(MainWindowTest, SendAlgorithmNumberWithinItsSpinButAbove64BlocksEveryValidatingOperation)
{
    RunMainWindow([&](CMainDialog& dialog) {
        for (const char* value : {"65", "127"})
        {
            for (int button : {IDC_RECEIVE_PROGRAM, IDC_SEND_PROGRAM, IDC_PROGRAM_CHANGE})
            {
                m_ui->boxes.clear();
                Type(dialog, IDC_SEND_ALGORITHM_NUMBER, value);
                Click(dialog, button);
                EXPECT_TRUE(RefusedOutOfRange(1, 64)) << value << " for button " << button;
                EXPECT_TRUE(FocusedAndSelected(dialog, IDC_SEND_ALGORITHM_NUMBER));
            }
        }
        EXPECT_EQ(0, m_driver->CallCount(MidiCall::OutOpen));
    });
}

TEST_F(MainWindowTest, EachBrowseButtonStoresTheChosenPathInItsOwnField)
{
    RunMainWindow([&](CMainDialog& dialog) {
        for (const FileField& field : FileFields)
        {
            SCOPED_TRACE("browse button " + std::to_string(field.browseButton));
            const std::string path = TempPath("chosen" + std::to_string(field.browseButton) + ".syx");
            std::vector<std::string> before;
            for (const FileField& other : FileFields)
                before.push_back(dialog.*other.member);

            m_ui->fileDialogs.clear();
            m_ui->ChooseFiles({path});
            Click(dialog, field.browseButton);

            ASSERT_EQ(1u, m_ui->fileDialogs.size());
            const FileDialogRequest& request = m_ui->fileDialogs.front();
            EXPECT_EQ(UiRecorder::Text(field.title), request.title);
            EXPECT_EQ("syx", request.defaultExtension);
            EXPECT_EQ("*.syx", request.initialName);
            EXPECT_EQ(SysExFilter, request.filter);
            EXPECT_TRUE(request.flags & OFN_HIDEREADONLY);
            EXPECT_TRUE(request.flags & OFN_OVERWRITEPROMPT);
            EXPECT_EQ(field.mustExist, (request.flags & OFN_FILEMUSTEXIST) != 0);

            for (size_t i = 0; i < std::size(FileFields); ++i)
            {
                const FileField& other = FileFields[i];
                const std::string expected = &other == &field ? path : before[i];
                EXPECT_EQ(expected, dialog.*other.member) << "member of edit " << other.edit;
                EXPECT_EQ(expected, TextOf(dialog, other.edit)) << "edit " << other.edit;
            }
        }
    });
    EXPECT_TRUE(m_ui->ShowedNothing());
}

TEST_F(MainWindowTest, BrowseChangesNoFieldWhenItsButtonDoesNotHoldTheFocus)
{
    RunMainWindow([&](CMainDialog& dialog) {
        // A press without the focus: the bulk receive edit, the send program button.
        for (int focus : {IDC_RECEIVE_BULK_FILE, IDC_BROWSE_SEND_PROGRAM})
        {
            m_ui->ChooseFiles({TempPath("never.syx")});
            SetFocus(dialog.GetDlgItem(focus));
            Press(dialog, IDC_BROWSE_RECEIVE_BULK);
        }
        EXPECT_EQ(2u, m_ui->fileDialogs.size());
        for (const FileField& field : FileFields)
            EXPECT_EQ(std::string::npos, (dialog.*field.member).find("never")) << "edit " << field.edit;
        EXPECT_EQ("BulkDump.syx", TextOf(dialog, IDC_RECEIVE_BULK_FILE));
    });
}

// With a bad field the refusal moves the focus to it, so the file chosen afterwards
// belongs to no browse button.
TEST_F(MainWindowTest, BrowseKeepsTypedFieldsAndWithAnOutOfRangeNumberStoresNothing)
{
    RunMainWindow([&](CMainDialog& dialog) {
        // Valid fields: what was typed elsewhere is kept.
        const std::string path = TempPath("bulk.syx");
        Type(dialog, IDC_RECEIVE_PROGRAM_NUMBER, "17");
        Type(dialog, IDC_SEND_PROGRAM_FILE, "typed.syx");
        m_ui->ChooseFiles({path});
        Click(dialog, IDC_BROWSE_RECEIVE_BULK);
        EXPECT_TRUE(m_ui->ShowedNothing());
        EXPECT_EQ(path, TextOf(dialog, IDC_RECEIVE_BULK_FILE));
        EXPECT_EQ(17, dialog.m_receiveProgramNumber);
        EXPECT_EQ("typed.syx", TextOf(dialog, IDC_SEND_PROGRAM_FILE));

        m_ui->fileDialogs.clear();
        Type(dialog, IDC_RECEIVE_PROGRAM_NUMBER, "300");
        m_ui->ChooseFiles({TempPath("lost.syx")});
        Click(dialog, IDC_BROWSE_RECEIVE_PROGRAM);
        EXPECT_TRUE(RefusedOutOfRange(1, 240));
        EXPECT_EQ(1u, m_ui->fileDialogs.size());
        EXPECT_EQ("ProgramDump.syx", dialog.m_receiveProgramFile);
        EXPECT_EQ("ProgramDump.syx", TextOf(dialog, IDC_RECEIVE_PROGRAM_FILE));
        EXPECT_EQ("300", TextOf(dialog, IDC_RECEIVE_PROGRAM_NUMBER));
    });
}

// After a refusal the fields from the bad one on show their stored values again, but only
// when a file was chosen: a cancelled file dialog refreshes nothing.
TEST_F(MainWindowTest, OnlyAChosenFileRefreshesTheFieldsAfterARefusal)
{
    RunMainWindow([&](CMainDialog& dialog) {
        Type(dialog, IDC_RECEIVE_PROGRAM_NUMBER, "abc");
        Type(dialog, IDC_SEND_PROGRAM_SLOT, "7");
        m_ui->ChooseFiles({""});
        Click(dialog, IDC_BROWSE_SEND_BULK);
        EXPECT_EQ("abc", TextOf(dialog, IDC_RECEIVE_PROGRAM_NUMBER));
        EXPECT_EQ("7", TextOf(dialog, IDC_SEND_PROGRAM_SLOT));

        m_ui->ChooseFiles({TempPath("bulk.syx")});
        Click(dialog, IDC_BROWSE_SEND_BULK);
        EXPECT_EQ("1", TextOf(dialog, IDC_RECEIVE_PROGRAM_NUMBER));
        EXPECT_EQ("1", TextOf(dialog, IDC_SEND_PROGRAM_SLOT));
        EXPECT_EQ("BulkDump.syx", TextOf(dialog, IDC_SEND_BULK_FILE));
    });
    ASSERT_EQ(2u, m_ui->boxes.size());
    EXPECT_EQ(AFX_IDP_PARSE_INT, m_ui->boxes[0].helpContext);
    EXPECT_EQ(AFX_IDP_PARSE_INT, m_ui->boxes[1].helpContext);
}

TEST_F(MainWindowTest, FileNamesOfUpTo256CharactersAreAcceptedALongerChosenPathIsShownThenRefused)
{
    const std::string path = TempPath(std::string(290, 'd') + ".syx");
    RunMainWindow([&](CMainDialog& dialog) {
        const std::string name256 = std::string(252, 'p') + ".syx";
        Type(dialog, IDC_RECEIVE_ALGORITHM_FILE, name256);
        Click(dialog, IDC_PROGRAM_CHANGE);
        EXPECT_EQ(name256, dialog.m_receiveAlgorithmFile);

        m_ui->ChooseFiles({path});
        Click(dialog, IDC_BROWSE_SEND_PROGRAM);
        EXPECT_EQ(path, dialog.m_sendProgramFile);
        EXPECT_EQ(path, TextOf(dialog, IDC_SEND_PROGRAM_FILE));
        EXPECT_TRUE(m_ui->ShowedNothing());

        Click(dialog, IDC_SEND_PROGRAM);
        EXPECT_TRUE(m_ui->ShowedOnly(Formatted(AFX_IDP_PARSE_STRING_SIZE, {"256"}), MB_OK | MB_ICONEXCLAMATION,
                                     AFX_IDP_PARSE_STRING_SIZE));
        EXPECT_TRUE(FocusedAndSelected(dialog, IDC_SEND_PROGRAM_FILE));
    });
    EXPECT_TRUE(SentMessages().empty());
}
