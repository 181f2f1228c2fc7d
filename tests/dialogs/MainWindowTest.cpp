// The main window itself: its fields and their validation, the browse buttons, the about
// box from the system menu.
#include <windows.h>
#include <shlobj.h>

#include <tuple>

#include "dialogs/MainDialog.h"
#include "framework/MessageBox.h"
#include "framework/Unicode.h"
#include "framework/Strings.h"
#include "protocol/BankIndex.h"
#include "framework/WinApp.h"
#include "midi/MidiLog.h"
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
        texts.push_back(w.GetDlgItemText(field.edit));
    return texts;
}
}

class MainWindowTest : public WindowTest {};

// The program change validates every field and sends one short message when all pass.
TEST_F(MainWindowTest, FieldsAreCheckedInOrderAndOnlyTheFirstBadOneIsReported)
{
    Run({
        {"each bad field in turn, in exchange order, focused with its text selected", nullptr,
         [](WindowTest& t, CMainDialog& w) {
             const struct { int field; const char* bad; const char* good; } fields[] = {
                 {IDC_RECEIVE_PROGRAM_NUMBER, "0", "240"}, {IDC_SEND_PROGRAM_SLOT, "101", "100"},
                 {IDC_PROGRAM_CHANGE_NUMBER, "129", "128"}, {IDC_RECEIVE_ALGORITHM_NUMBER, "0", "127"},
                 {IDC_SEND_ALGORITHM_NUMBER, "65", "64"},  {IDC_SEND_BULK_FILE, nullptr, "b.syx"},
             };
             const std::string tooLong(257, 'n');
             for (const auto& field : fields)
                 w.SetDlgItemText(field.field, field.bad ? field.bad : tooLong.c_str());
             for (const auto& field : fields)
             {
                 t.Press(w, IDC_PROGRAM_CHANGE);
                 EXPECT_TRUE(t.FocusedAndSelected(w, field.field)) << "field " << field.field;
                 w.SetDlgItemText(field.field, field.good);
             }
             EXPECT_TRUE(t.m_driver->ShortMessages().empty()) << "a refused field must stop the operation";
             t.Press(w, IDC_PROGRAM_CHANGE);
             EXPECT_EQ(std::vector<DWORD>{0x7FC0}, t.m_driver->ShortMessages());
             EXPECT_EQ(240, w.m_receiveProgramNumber);
         },
         {OutOfRange(1, 240), OutOfRange(1, 100), OutOfRange(1, 128), OutOfRange(1, 127), OutOfRange(1, 64),
          Error(AFX_IDP_PARSE_STRING_SIZE, {"256"})}, {}, {}},
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
            m_ui->files = {expected[&field - FileFields]};
            Click(w, field.browse);
            EXPECT_EQ(expected, FileTexts(w));
            ASSERT_EQ(1u, m_ui->fileDialogs.size());
            const FileDialogRequest& r = m_ui->fileDialogs.front();
            const bool bulkSend = field.browse == IDC_BROWSE_SEND_BULK;  // the only one that takes MIDI files
            EXPECT_EQ(std::make_tuple(LoadResString(field.title), "syx", bulkSend ? "*.syx;*.mid" : "*.syx", bulkSend,
                                      field.mustExist, w.GetSafeHwnd(), true),
                      std::make_tuple(r.title, r.defaultExtension, r.initialName,
                                      r.filter.find("MIDI files (*.mid)|*.mid|") != std::string::npos,
                                      (r.flags & OFN_FILEMUSTEXIST) != 0, r.owner, r.modal));
        }
    });
    EXPECT_TRUE(m_ui->boxes.empty());
}

// System commands 16 to 31 open the about box; once it closes the main window is usable again.
// The send-algorithm number is checked but never sent; its tip says so.
TEST_F(MainWindowTest, SystemMenuAndTips)
{
    int aboutRuns = 0;
    OnDialog(IDD_ABOUT, [&](CDialog& about) {
        ++aboutRuns;
        EXPECT_FALSE(IsWindowEnabled(AfxGetApp()->m_pMainWnd->GetSafeHwnd())) << "the about box is not modal";
        PostMessageA(about.GetSafeHwnd(), WM_COMMAND, IDOK, 0);
    });
    // The MIDI log keeps the last 20,000 rows and says how many older ones it dropped.
    MidiLog& log = TheMidiLog();
    log.Clear();
    const int port = 0;
    log.Opened(&port, false, "Out A");
    for (std::uint32_t n = 0; n <= MidiLog::RowLimit; ++n)
        log.Short(&port, 0xC0 | (n % 128) << 8);
    log.Closed(&port);
    RunMainWindow([&](CMainDialog& w) {
        for (UINT command : {IDM_ABOUTBOX, IDM_ABOUTBOX + 15, IDM_ABOUTBOX + 16, IDM_MIDI_LOG})
            SendMessageA(w.GetSafeHwnd(), WM_SYSCOMMAND, command, 0);
        // Closed and opened again, the log shows its rows at once.
        SendMessageA(w.m_log.GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
        SendMessageA(w.GetSafeHwnd(), WM_SYSCOMMAND, IDM_MIDI_LOG, 0);
        EXPECT_EQ(LoadResString(IDS_LOG_DROPPED, {"20,000", "3", "20,000"}), w.m_log.GetDlgItemText(IDC_LOG_SUMMARY));
        const HWND list = w.m_log.GetDlgItem(IDC_LOG_LIST);
        EXPECT_EQ(20000, ListView_GetItemCount(list));
        EXPECT_EQ("Out A|Program change 3", ListCell(list, 0, 2) + "|" + ListCell(list, 0, 3));
        EXPECT_EQ("Port closed", ListCell(list, 19999, 3));
        // A row dropped moves the selection up with the row it marks.
        ListView_SetItemState(list, 1, LVIS_SELECTED, LVIS_SELECTED);
        log.Note(nullptr, MidiLogEvent::TimedOut);
        w.m_log.Refresh();
        EXPECT_EQ("Program change 4", ListCell(list, ListView_GetNextItem(list, -1, LVNI_SELECTED), 3));
        // The log resizes: its list takes the room, Close keeps to the corner.
        const auto place = [&](HWND window) { RECT r; GetWindowRect(window, &r); return r; };
        const RECT window = place(w.m_log.GetSafeHwnd()), list0 = place(list), close0 = place(w.m_log.GetDlgItem(IDCANCEL));
        SetWindowPos(w.m_log.GetSafeHwnd(), nullptr, 0, 0, window.right - window.left + 100, window.bottom - window.top + 80,
                     SWP_NOMOVE | SWP_NOZORDER);
        const RECT list1 = place(list), close1 = place(w.m_log.GetDlgItem(IDCANCEL));
        EXPECT_EQ(std::vector<LONG>({100, 80, 100, 80}), std::vector<LONG>({list1.right - list0.right, list1.bottom - list0.bottom,
                                                                          close1.left - close0.left, close1.top - close0.top}));
        EXPECT_TRUE(IsWindowEnabled(w.GetSafeHwnd()));
        wchar_t tip[256] = {};
        TTTOOLINFOW tool{TTTOOLINFOW_V2_SIZE, 0, w.GetSafeHwnd(), reinterpret_cast<UINT_PTR>(w.GetDlgItem(IDC_SEND_ALGORITHM_NUMBER)),
                         {}, nullptr, tip, 0, nullptr};
        SendMessageW(w.m_toolTips.m_hWnd, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
        EXPECT_EQ(LoadResString(IDS_TIP_SEND_ALGORITHM_NUMBER), Narrow(tip));
    });
    EXPECT_EQ(2, aboutRuns);
}

// Enter runs the action of the group whose field has the focus and never ends the program;
// Escape still does. Enter twice, quickly, never does more than once: while a reply is
// awaited the keyboard is on the status line, a dialog drops the keys typed before it, and a
// key that reaches a question answers No.
TEST_F(MainWindowTest, KeyboardNeverSurprises)
{
    const Bytes program3 = EmulatedDevice().ProgramMessage(3);
    Run({
        {"Enter twice in a receive group's field receives once, and the reply is kept", nullptr,
         [&](WindowTest& t, CMainDialog& w) {
             w.SetDlgItemText(IDC_RECEIVE_PROGRAM_FILE, t.Path("p.syx"));
             w.SetDlgItemText(IDC_RECEIVE_PROGRAM_NUMBER, "3");
             t.EnterTwice(w, IDC_RECEIVE_PROGRAM_NUMBER);
             t.Settle();
             EXPECT_EQ(LoadResString(IDS_STATUS_ANSWERED_TEXT,
                                     {std::to_string(program3.size()), DumpText(program3.data(), program3.size())}),
                       w.GetDlgItemText(IDC_STATUS));
             w.SetDlgItemText(IDC_PROGRAM_CHANGE_NUMBER, "5");
             t.PressKey(w, IDC_PROGRAM_CHANGE_NUMBER, VK_RETURN);
             t.Settle();
             EXPECT_FALSE(w.IsEnding());
             EXPECT_EQ(std::vector<DWORD>{0x04C0}, t.m_driver->ShortMessages());
         },
         {Stored("p.syx")}, {{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x01, 0x00, 0x02, 0xF7}}, {{"p.syx", program3}}},
        {"Enter twice in a receive group's field, its file there, and Space twice on Command 21: the second key "
         "reaches the question and declines", With("p.syx", program3),
         [](WindowTest& t, CMainDialog& w) {
             w.SetDlgItemText(IDC_RECEIVE_PROGRAM_FILE, t.Path("p.syx"));
             t.Answer({0, 0});
             for (auto [id, key] : {std::pair<int, WPARAM>{IDC_RECEIVE_PROGRAM_NUMBER, VK_RETURN}, {IDC_COMMAND21, VK_SPACE}})
             {
                 t.m_ui->onBox = [key = key](const Box&) { TypeKey(key); };
                 t.PressKey(w, id, key);
                 SendMessageW(w.GetDlgItem(id), WM_KEYUP, key, 0xC0000001);
             }
         },
         {Question(IDS_CONFIRM_OVERWRITE), Question(IDS_CONFIRM_COMMAND21)}, {}, {}},
        {"Enter twice in the bulk fields: the dialog the first opens ignores the second; Escape ends the program",
         With("b.syx", EmulatedDevice().ProgramMessage(1)),
         [](WindowTest& t, CMainDialog& w) {
             t.SetReplyMode(EmulatedDevice::ReplyMode::Silent);
             for (UINT dialog : {IDD_BULK_SEND, IDD_BULK_RECEIVE})
                 t.OnDialog(dialog, [](CDialog& d) { PostMessageA(d.GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0); });
             w.SetDlgItemText(IDC_SEND_BULK_FILE, t.Path("b.syx"));
             w.SetDlgItemText(IDC_RECEIVE_BULK_FILE, t.Path("r.syx"));
             t.EnterTwice(w, IDC_SEND_BULK_FILE);
             t.EnterTwice(w, IDC_RECEIVE_BULK_FILE);
             t.PressKey(w, IDC_SEND_PROGRAM_SLOT, VK_ESCAPE);
             EXPECT_TRUE(w.IsEnding()) << "Escape ends the program";
         },
         {}, {{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x49, 0xF7}}, {}},
        {"while a reply is awaited only Exit is usable and the status line has the keyboard and counts the "
         "seconds; the button gets the keyboard back",
         [](WindowTest& t) {
             t.SetReplyMode(EmulatedDevice::ReplyMode::Silent);
             SetReplyTimeoutMs(1500);  // for the count to reach 1 s first; the next test sets its own
         },
         [](WindowTest& t, CMainDialog& w) {
             w.SetDlgItemText(IDC_RECEIVE_ALGORITHM_FILE, t.Path("a.syx"));
             t.Click(w, IDC_RECEIVE_ALGORITHM);
             EXPECT_EQ((std::vector<int>{IDC_STATUS, IDCANCEL}), t.EnabledControls(w));
             EXPECT_EQ(IDC_STATUS, t.FocusedId());
             EXPECT_EQ(LoadResString(IDS_STATUS_WAITING, {"0"}), w.GetDlgItemText(IDC_STATUS));
             EXPECT_TRUE(t.WaitFor([&] { return w.GetDlgItemText(IDC_STATUS) == LoadResString(IDS_STATUS_WAITING, {"1"}); }));
             t.Settle();
             EXPECT_TRUE(t.WaitFor([&] { return t.FocusedId() == IDC_RECEIVE_ALGORITHM; }));
             EXPECT_EQ("", w.GetDlgItemText(IDC_STATUS));
         },
         {Error(IDS_NO_REPLY)}, {{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x31, 0x00, 0xF7}}, {}},
    });
}

// A name counts characters, in any script; a long path keeps its message on the screen.
TEST_F(MainWindowTest, FileNamesInAnyScript)
{
    std::string stem;  // 252 characters of three bytes each
    for (int i = 0; i < 252; ++i)
        stem += u8"\u65e5";
    const std::string cjk256 = stem + ".syx", cjk257 = stem + u8"\u672c.syx";
    const std::string deep = Path(std::string(150, 'd') + "\\p.syx");
    Run({
        {"256 characters pass, 257 are refused", nullptr,
         [&](WindowTest& t, CMainDialog& w) {
             w.SetDlgItemText(IDC_SEND_BULK_FILE, cjk256);
             t.Press(w, IDC_PROGRAM_CHANGE);
             EXPECT_EQ(cjk256, w.m_sendBulkFile);
             w.SetDlgItemText(IDC_SEND_BULK_FILE, cjk257);
             t.Press(w, IDC_PROGRAM_CHANGE);
         },
         {Error(AFX_IDP_PARSE_STRING_SIZE, {"256"})}, {}, {}},
        {"the middle of a long path gives way to an ellipsis", nullptr,
         [&](WindowTest& t, CMainDialog& w) {
             w.SetDlgItemText(IDC_SEND_PROGRAM_FILE, deep);
             t.Press(w, IDC_SEND_PROGRAM);
             const std::string& text = t.m_ui->boxes.at(0).text;
             EXPECT_LT(text.size(), LoadResString(IDS_FILE_OPEN_FAILED).size() + 90);
             EXPECT_NE(std::string::npos, text.find(u8"\u2026ddd"));
         },
         {FileError(IDS_FILE_OPEN_FAILED, DisplayPath(deep))}, {}, {}},
    });
}

namespace
{
// What the shell hands a window when files are dropped on it at `point` (client coordinates).
HDROP DropOf(const std::vector<std::string>& paths, POINT point)
{
    std::wstring names;
    for (const std::string& path : paths)
        names += Widen(path) + L'\0';
    names += L'\0';
    HGLOBAL drop = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    auto* files = static_cast<DROPFILES*>(GlobalLock(drop));
    files->pFiles = sizeof(DROPFILES);
    files->pt = point;
    files->fWide = TRUE;
    std::copy(names.begin(), names.end(), reinterpret_cast<wchar_t*>(files + 1));
    GlobalUnlock(drop);
    return static_cast<HDROP>(drop);
}

POINT CentreOf(CDialog& dialog, int id)
{
    RECT bounds;
    GetWindowRect(dialog.GetDlgItem(id), &bounds);
    POINT centre{(bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2};
    ScreenToClient(dialog.GetSafeHwnd(), &centre);
    return centre;
}
}

// A file dropped on a file field fills it; dropped anywhere else it is the bulk file to send.
TEST_F(MainWindowTest, DroppedFilesFillTheFieldUnderThem)
{
    RunMainWindow([&](CMainDialog& w) {
        const auto drop = [&](std::vector<std::string> paths, POINT point) {
            SendMessageW(w.GetSafeHwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf(paths, point)), 0);
        };
        drop({Path("a.syx")}, CentreOf(w, IDC_RECEIVE_ALGORITHM_FILE));
        EXPECT_EQ(Path("a.syx"), w.GetDlgItemText(IDC_RECEIVE_ALGORITHM_FILE));
        drop({Path("first.mid"), Path("second.syx")}, CentreOf(w, IDC_PROGRAM_CHANGE_NUMBER));
        EXPECT_EQ(Path("first.mid"), w.GetDlgItemText(IDC_SEND_BULK_FILE));
        EXPECT_EQ("ProgramDump.syx", w.GetDlgItemText(IDC_SEND_PROGRAM_FILE));
    });
    EXPECT_TRUE(m_ui->boxes.empty());
}
