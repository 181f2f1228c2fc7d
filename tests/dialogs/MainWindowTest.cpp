// The main window itself: its fields and their validation, the browse buttons, the about
// box from the system menu.
#include "dialogs/MainDialog.h"
#include "framework/Strings.h"
#include "framework/WinApp.h"
#include "resources/resource.h"
#include "support/WindowTest.h"

namespace
{
struct FileField
{
    int browse;
    int edit;
    UINT title;
    bool mustExist;
};

const FileField FileFields[] = {
    {IDC_BROWSE_RECEIVE_PROGRAM, IDC_RECEIVE_PROGRAM_FILE, IDS_RECEIVE_FILE_TITLE, false},
    {IDC_BROWSE_RECEIVE_ALGORITHM, IDC_RECEIVE_ALGORITHM_FILE, IDS_RECEIVE_FILE_TITLE, false},
    {IDC_BROWSE_RECEIVE_BULK, IDC_RECEIVE_BULK_FILE, IDS_RECEIVE_FILE_TITLE, false},
    {IDC_BROWSE_SEND_PROGRAM, IDC_SEND_PROGRAM_FILE, IDS_SEND_FILE_TITLE, true},
    {IDC_BROWSE_SEND_ALGORITHM, IDC_SEND_ALGORITHM_FILE, IDS_SEND_FILE_TITLE, true},
    {IDC_BROWSE_SEND_BULK, IDC_SEND_BULK_FILE, IDS_SEND_FILE_TITLE, true},
};

std::vector<std::string> FileTexts(CMainDialog& w)
{
    std::vector<std::string> texts;
    for (const FileField& field : FileFields)
        texts.push_back(WindowTest::TextOf(w, field.edit));
    return texts;
}
}

class MainWindowTest : public WindowTest
{
};

// The program change validates every field and sends one short message when all pass.
TEST_F(MainWindowTest, FieldsAreCheckedInOrderAndOnlyTheFirstBadOneIsReported)
{
    Run({
        {"a fresh window holds the defaults, which pass", nullptr,
         [](WindowTest& t, CMainDialog& w) {
             EXPECT_EQ((std::vector<std::string>{"ProgramDump.syx", "AlgorithmDump.syx", "BulkDump.syx",
                                                 "ProgramDump.syx", "AlgorithmDump.syx", "BulkDump.syx"}),
                       FileTexts(w));
             t.Press(w, IDC_PROGRAM_CHANGE);
             EXPECT_EQ(std::vector<DWORD>{0x00C0}, t.m_driver->ShortMessages());
         }, {}, {}, {}},
        {"each bad field in turn, in exchange order, focused with its text selected", nullptr,
         [](WindowTest& t, CMainDialog& w) {
             const struct
             {
                 int field;
                 const char* bad;
                 const char* good;
             } fields[] = {
                 {IDC_RECEIVE_PROGRAM_NUMBER, "0", "240"}, {IDC_SEND_PROGRAM_SLOT, "101", "100"},
                 {IDC_PROGRAM_CHANGE_NUMBER, "129", "128"}, {IDC_RECEIVE_ALGORITHM_NUMBER, "x", "127"},
                 {IDC_SEND_ALGORITHM_NUMBER, "65", "64"},  {IDC_SEND_BULK_FILE, nullptr, "b.syx"},
             };
             const std::string tooLong(257, 'n');
             for (const auto& field : fields)
                 t.Type(w, field.field, field.bad ? field.bad : tooLong.c_str());
             for (const auto& field : fields)
             {
                 t.Press(w, IDC_PROGRAM_CHANGE);
                 EXPECT_TRUE(t.FocusedAndSelected(w, field.field)) << "field " << field.field;
                 t.Type(w, field.field, field.good);
             }
             EXPECT_TRUE(t.m_driver->ShortMessages().empty()) << "a refused field must stop the operation";
             t.Press(w, IDC_PROGRAM_CHANGE);
             EXPECT_EQ(std::vector<DWORD>{0x7FC0}, t.m_driver->ShortMessages());
             EXPECT_EQ(240, w.m_receiveProgramNumber);
         },
         {OutOfRange(1, 240), OutOfRange(1, 100), OutOfRange(1, 128), NotANumber(), OutOfRange(1, 64),
          Error(AFX_IDP_PARSE_STRING_SIZE, {"256"})}, {}, {}},
        {"the send algorithm number above 64 blocks every operation that validates", nullptr,
         [](WindowTest& t, CMainDialog& w) {
             t.Type(w, IDC_SEND_ALGORITHM_NUMBER, "127");
             for (int button : {IDC_RECEIVE_PROGRAM, IDC_SEND_PROGRAM, IDC_PROGRAM_CHANGE})
                 t.Press(w, button);
             EXPECT_EQ(0, t.m_driver->CallCount(MidiCall::OutOpen));
         }, {OutOfRange(1, 64), OutOfRange(1, 64), OutOfRange(1, 64)}, {}, {}},
        {"a file name of 256 characters passes", nullptr,
         [](WindowTest& t, CMainDialog& w) {
             const std::string name256 = std::string(252, 'p') + ".syx";
             t.Type(w, IDC_RECEIVE_ALGORITHM_FILE, name256);
             t.Press(w, IDC_PROGRAM_CHANGE);
             EXPECT_EQ(name256, w.m_receiveAlgorithmFile);
         }, {}, {}, {}},
    });
}

TEST_F(MainWindowTest, EachBrowseButtonFillsItsOwnField)
{
    RunMainWindow([&](CMainDialog& w) {
        for (const FileField& field : FileFields)
        {
            SCOPED_TRACE("browse button " + std::to_string(field.browse));
            std::vector<std::string> expected = FileTexts(w);
            expected[&field - FileFields] = Path(std::to_string(field.browse) + ".syx");
            m_ui->fileDialogs.clear();
            m_ui->ChooseFiles({expected[&field - FileFields]});
            Click(w, field.browse);
            EXPECT_EQ(expected, FileTexts(w));
            ASSERT_EQ(1u, m_ui->fileDialogs.size());
            const FileDialogRequest& request = m_ui->fileDialogs.front();
            EXPECT_EQ(LoadResString(field.title), request.title);
            EXPECT_EQ("syx", request.defaultExtension);
            EXPECT_EQ("*.syx", request.initialName);
            EXPECT_EQ(field.mustExist, (request.flags & OFN_FILEMUSTEXIST) != 0);
        }
    });
    EXPECT_TRUE(m_ui->boxes.empty());
}

TEST_F(MainWindowTest, BrowseKeepsWhatWasTypedAndStoresOnlyForTheButtonThatHasTheFocus)
{
    Run({
        {"typed fields are kept", nullptr,
         [](WindowTest& t, CMainDialog& w) {
             t.Type(w, IDC_SEND_PROGRAM_FILE, "typed.syx");
             t.m_ui->ChooseFiles({t.Path("b.syx")});
             t.Click(w, IDC_BROWSE_RECEIVE_BULK);
             EXPECT_EQ("typed.syx", t.TextOf(w, IDC_SEND_PROGRAM_FILE));
             EXPECT_EQ(t.Path("b.syx"), t.TextOf(w, IDC_RECEIVE_BULK_FILE));
         }, {}, {}, {}},
        {"a press without the focus on the button stores nothing", nullptr,
         [](WindowTest& t, CMainDialog& w) {
             const std::vector<std::string> before = FileTexts(w);
             t.m_ui->ChooseFiles({t.Path("never.syx")});
             SetFocus(w.GetDlgItem(IDC_RECEIVE_BULK_FILE));
             SendMessageA(w.GetSafeHwnd(), WM_COMMAND, IDC_BROWSE_RECEIVE_BULK, 0);
             EXPECT_EQ(before, FileTexts(w));
         }, {}, {}, {}},
        {"with a bad field the chosen file is not stored; only a chosen file refreshes the fields", nullptr,
         [](WindowTest& t, CMainDialog& w) {
             t.Type(w, IDC_RECEIVE_PROGRAM_NUMBER, "abc");
             t.m_ui->ChooseFiles({""});
             t.Click(w, IDC_BROWSE_SEND_BULK);
             EXPECT_EQ("abc", t.TextOf(w, IDC_RECEIVE_PROGRAM_NUMBER));
             t.m_ui->ChooseFiles({t.Path("lost.syx")});
             t.Click(w, IDC_BROWSE_SEND_BULK);
             EXPECT_EQ("1", t.TextOf(w, IDC_RECEIVE_PROGRAM_NUMBER));
             EXPECT_EQ("BulkDump.syx", t.TextOf(w, IDC_SEND_BULK_FILE));
         }, {NotANumber(), NotANumber()}, {}, {}},
        {"a chosen path longer than 256 characters is shown, then refused by the operation", nullptr,
         [](WindowTest& t, CMainDialog& w) {
             const std::string path = t.Path(std::string(290, 'd') + ".syx");
             t.m_ui->ChooseFiles({path});
             t.Click(w, IDC_BROWSE_SEND_PROGRAM);
             EXPECT_EQ(path, t.TextOf(w, IDC_SEND_PROGRAM_FILE));
             t.Press(w, IDC_SEND_PROGRAM);
             EXPECT_TRUE(t.FocusedAndSelected(w, IDC_SEND_PROGRAM_FILE));
         },
         {Error(AFX_IDP_PARSE_STRING_SIZE, {"256"})}, {}, {}},
    });
}

// System commands 16 to 31 open the about box; once it closes the main window is usable again.
TEST_F(MainWindowTest, SystemMenuOpensTheAboutBoxAndGivesControlBack)
{
    int aboutRuns = 0;
    OnDialog(IDD_ABOUT, [&](CDialog& about) {
        ++aboutRuns;
        EXPECT_FALSE(IsWindowEnabled(AfxGetApp()->m_pMainWnd->GetSafeHwnd())) << "the about box is not modal";
        PostMessageA(about.GetSafeHwnd(), WM_COMMAND, IDOK, 0);
    });
    RunMainWindow([&](CMainDialog& w) {
        for (UINT command : {IDM_ABOUTBOX, IDM_ABOUTBOX + 15, IDM_ABOUTBOX + 16})
            SendMessageA(w.GetSafeHwnd(), WM_SYSCOMMAND, command, 0);
        EXPECT_TRUE(IsWindowEnabled(w.GetSafeHwnd()));
    });
    EXPECT_EQ(2, aboutRuns);
}
