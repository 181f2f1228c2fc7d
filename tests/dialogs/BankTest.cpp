// The bank window on the device's bulk dump, and the counts of the bulk receive.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

#include "framework/File.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "framework/Unicode.h"
#include "history/DumpHistory.h"
#include "protocol/BankIndex.h"
#include "protocol/MidiFile.h"
#include "resources/resource.h"
#include "support/Bytes.h"
#include "support/WindowTest.h"

namespace
{
using Act = std::function<void(WindowTest&, CMainDialog&)>;
using During = std::function<void(WindowTest&, CDialog&)>;
const EmulatedDevice Factory;
std::vector<std::string> proposedSlots;  // what the slot prompt showed, in order

Bytes Stamped(Bytes dump, std::uint8_t slot)
{
    dump[8] = static_cast<std::uint8_t>(slot - 1);
    return dump;
}

Bytes Request(std::uint8_t program)
{
    return {0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x01, 0x00, static_cast<std::uint8_t>(program - 1), 0xF7};
}

std::string Hex(int byte)
{
    char text[4];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

// A dump's name as a compare's result gives it: with the text the dump holds.
std::string Named(const std::string& what, const Bytes& dump)
{
    return LoadResString(IDS_DUMP_WITH_TEXT, {what, DumpText(dump.data(), dump.size())});
}

Box Note(UINT id, std::initializer_list<std::string> inserts)
{
    return {FormatPlaceholders(LoadResString(id), inserts), MB_OK, id};
}

std::string Cell(CDialog& bank, int row, int column, int list = IDC_BANK_LIST)
{
    return WindowTest::ListCell(bank.GetDlgItem(list), row, column);
}

void Select(CDialog& bank, std::initializer_list<int> rows, int listId = IDC_BANK_LIST)
{
    HWND list = bank.GetDlgItem(listId);
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    for (int row : rows)
        ListView_SetItemState(list, row, LVIS_SELECTED, LVIS_SELECTED);
}

// Opens b.syx in the bank window; `during` acts there, then the window is closed.
Act InBank(During during)
{
    return [=](WindowTest& t, CMainDialog& w) {
        t.OnDialog(IDD_BANK, [&t, during](CDialog& d) {
            during(t, d);
            PostMessageA(d.GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
        });
        t.OnDialog(IDD_BANK_SLOT, [](CDialog& d) {
            proposedSlots.push_back(d.GetDlgItemText(IDC_BANK_SLOT));
            d.SetDlgItemText(IDC_BANK_SLOT, "0");  // would be stamped as program 128
            WindowTest::Click(d, IDOK);
            d.SetDlgItemText(IDC_BANK_SLOT, "50");
            PostMessageA(d.GetSafeHwnd(), WM_COMMAND, IDOK, 0);
        });
        w.SetDlgItemText(IDC_SEND_BULK_FILE, t.Path("b.syx"));
        t.Press(w, IDC_BANK);
    };
}
}

class BankTest : public WindowTest {};

TEST_F(BankTest, ActionsOnTheRows)
{
    const Bytes dump = Factory.BulkDump();
    const Bytes program3 = Factory.ProgramMessage(3);
    Bytes changed4 = Factory.ProgramMessage(4);
    changed4[9] ^= 0x01;
    Bytes longer5 = Factory.AlgorithmMessage(5);
    const Bytes tail = Bytes{0x00} + Bytes(ShownTextLength + 1, 'x');  // a text too long to name whole
    longer5.insert(longer5.end() - 1, tail.begin(), tail.end());
    Bytes long200 = Stamped(Factory.ProgramMessage(200), 50);
    long200[7] = 0x00;  // slot 50 is in the first bank
    Bytes otherHeader3 = program3;
    otherHeader3[4] = 0x05;
    Run({
        {"an entry of the history opened in the bank window and sent to slot 50 from there: the rows show that "
         "slot's backup at once; the entry chosen then is saved as a file (a failed write keeps the file it was to "
         "replace), deleted",
         [&](WindowTest& t) {
             History().SetBackupBeforeOverwrite(true), History().Add(HistoryKind::Program, 3, ReceivedFromDevice, program3.data(), program3.size());
             History().Add(HistoryKind::Algorithm, 5, 5, longer5.data(), longer5.size());
             t.WriteFile("kept.syx", program3);
             CFile::SetFaultHook([failed = false](CFile::Operation operation, const std::string&) mutable -> DWORD {
                 return operation == CFile::Operation::Write && !std::exchange(failed, true) ? ERROR_DISK_FULL : 0;
             });
         },
         [&](WindowTest& t, CMainDialog& w) {
             t.OnDialog(IDD_HISTORY, [&](CDialog& h) {
                 EXPECT_EQ(LoadResString(IDS_HISTORY_BEFORE_SLOT, {"5"}), Cell(h, 0, 2, IDC_HISTORY_LIST));
                 EXPECT_EQ("Program 3", Cell(h, 1, 1, IDC_HISTORY_LIST));
                 t.OnDialog(IDD_BANK, [&t](CDialog& d) {
                     EXPECT_EQ("Program 3", Cell(d, 0, 1));
                     t.OnDialog(IDD_BANK_SLOT, [](CDialog& s) { s.SetDlgItemText(IDC_BANK_SLOT, "50"), PostMessageA(s.GetSafeHwnd(), WM_COMMAND, IDOK, 0); });
                     Select(d, {0}), t.Press(d, IDC_BANK_SEND_TO_SLOT);
                     PostMessageA(d.GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
                 });
                 Select(h, {1}, IDC_HISTORY_LIST), t.Click(h, IDC_HISTORY_OPEN);
                 EXPECT_EQ(LoadResString(IDS_HISTORY_BEFORE_SLOT, {"50"}), Cell(h, 0, 2, IDC_HISTORY_LIST));
                 const std::string held = FormatGroupedNumber(program3.size() + longer5.size() + Factory.ProgramMessage(50).size());
                 EXPECT_EQ(LoadResString(IDS_HISTORY_SUMMARY, {"3", held, DisplayPath(History().Folder())}), h.GetDlgItemText(IDC_HISTORY_STATUS));
                 Select(h, {1}, IDC_HISTORY_LIST), t.m_ui->files = {t.Path("kept.syx"), t.Path("kept.syx")}, t.Click(h, IDC_HISTORY_SAVE_AS);
                 EXPECT_EQ(program3, TempFolder::ReadBytes(t.Path("kept.syx")));
                 t.Click(h, IDC_HISTORY_SAVE_AS), t.Click(h, IDC_HISTORY_DELETE);
                 EXPECT_EQ(2, ListView_GetItemCount(h.GetDlgItem(IDC_HISTORY_LIST)));
                 EXPECT_EQ("Program 3", Cell(h, 1, 1, IDC_HISTORY_LIST));
                 PostMessageA(h.GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
             });
             t.Press(w, IDC_HISTORY);
             ASSERT_EQ(2u, History().Entries().size());
             EXPECT_EQ(program3, TempFolder::ReadBytes(History().PathOf(History().Entries()[1])));
         },
         {FileError(IDS_FILE_WRITE_FAILED, "kept.syx"), Question(IDS_HISTORY_CONFIRM_DELETE, {"Algorithm 5"})},
         {Request(50), Stamped(program3, 50)}, {{"kept.syx", longer5}}},
        {"a program of the device's bulk dump to another slot, compared, saved, and sent with Send program",
         With("b.syx", dump),
         [&](WindowTest& t, CMainDialog& w) {
             CheckDlgButton(w.GetSafeHwnd(), IDC_COMPARE_AFTER_SEND, BST_CHECKED);
             w.m_bankLayout = {900, 700, {}};
             InBank([&](WindowTest& t, CDialog& d) {
                 RECT kept;
                 GetWindowRect(d.GetSafeHwnd(), &kept);
                 EXPECT_EQ(900, kept.right - kept.left);
                 // Shown, drawn, resized: the list's header is drawn again whole, not only where it grew.
                 ShowWindow(d.GetSafeHwnd(), SW_SHOWNA);
                 RedrawWindow(d.GetSafeHwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
                 SetWindowPos(d.GetSafeHwnd(), nullptr, 0, 0, 1000, 700, SWP_NOMOVE | SWP_NOZORDER);
                 HWND header = ListView_GetHeader(d.GetDlgItem(IDC_BANK_LIST));
                 RECT whole, redrawn;
                 GetClientRect(header, &whole);
                 EXPECT_TRUE(GetUpdateRect(header, &redrawn, FALSE) && EqualRect(&whole, &redrawn));
                 EXPECT_EQ(LoadResString(IDS_BANK_SUMMARY, {"367", "240", "127"}), d.GetDlgItemText(IDC_BANK_SUMMARY));
                 EXPECT_EQ(367, ListView_GetItemCount(d.GetDlgItem(IDC_BANK_LIST)));
                 const std::string row3[] = {"3", "Program 3", "1", std::to_string(program3.size())};
                 for (int column = 0; column < 4; ++column)
                     EXPECT_EQ(row3[column], Cell(d, 2, column));
                 EXPECT_EQ("F0 00 00 10 00 41 42 00 02", Cell(d, 2, 4).substr(0, 26));
                 EXPECT_EQ(DumpText(program3.data(), program3.size()), Cell(d, 2, 5));
                 EXPECT_EQ("Algorithm 127", Cell(d, 366, 1));
                 Select(d, {2});
                 t.PressKey(d, IDC_BANK_LIST, VK_RETURN);
                 t.Settle();
                 t.m_ui->files = {t.Path("p3.syx")};
                 t.Press(d, IDC_BANK_SAVE_AS);
             })(t, w);
             EXPECT_GT(w.m_bankLayout.columns[4], 0);
             w.SetDlgItemText(IDC_SEND_PROGRAM_FILE, t.Path("p3.syx"));
             w.SetDlgItemText(IDC_SEND_PROGRAM_SLOT, "60");
             t.Press(w, IDC_SEND_PROGRAM);
         },
         {OutOfRange(1, 100), Note(IDS_COMPARE_SAME, {Named("Slot 50", program3)}), Stored("p3.syx"),
          Note(IDS_COMPARE_SAME, {Named("Slot 60", program3)})},
         {Stamped(program3, 50), Request(50), Stamped(program3, 60), Request(60)}, {{"p3.syx", program3}}},
        {"Send to slot backs slot 50 up; Undo puts it back, Undo again the new version; the history's Compare "
         "and Restore reach the slot", [&](WindowTest& t) { t.WriteFile("b.syx", dump), History().SetBackupBeforeOverwrite(true); },
         [&](WindowTest& t, CMainDialog& w) {
             const auto undoable = [&w] { return !(GetMenuState(GetSystemMenu(w.GetSafeHwnd(), FALSE), IDM_UNDO_SEND, 0) & MF_GRAYED); };
             const auto slot50 = [&t] { Bytes held; t.WithDevice([&](EmulatedDevice& d) { held = d.ProgramMessage(50); }); return held; };
             EXPECT_FALSE(undoable());
             InBank([](WindowTest& t, CDialog& d) { Select(d, {2}), t.Press(d, IDC_BANK_SEND_TO_SLOT); })(t, w);
             EXPECT_TRUE(undoable());
             for (const Bytes& held : {Factory.ProgramMessage(50), Stamped(program3, 50)})
             {
                 SendMessageA(w.GetSafeHwnd(), WM_SYSCOMMAND, IDM_UNDO_SEND, 0), t.Settle();
                 EXPECT_EQ(held, slot50());
             }
             t.OnDialog(IDD_HISTORY, [&](CDialog& h) {
                 for (int row : {1, 0})  // the version of the first Undo, then the factory's
                 {
                     ListView_SetItemState(h.GetDlgItem(IDC_HISTORY_LIST), row, LVIS_SELECTED, LVIS_SELECTED);
                     t.Press(h, row == 1 ? IDC_HISTORY_COMPARE : IDC_HISTORY_RESTORE);
                 }
                 EXPECT_EQ(Factory.ProgramMessage(50), slot50());
                 PostMessageA(h.GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
             });
             t.Press(w, IDC_HISTORY);
         },
         {OutOfRange(1, 100), Note(IDS_COMPARE_SAME, {Named("Slot 50", Stamped(program3, 50))})},
         {Request(50), Stamped(program3, 50), Request(50), Factory.ProgramMessage(50), Request(50), Stamped(program3, 50),
          Request(50), Request(50), Factory.ProgramMessage(50)}, {}},
        {"Send: the rows in file order through the bulk send; Ctrl+A selects all; a long program goes to a slot whole "
         "though the window is closed at once, and the main window says so",
         [&](WindowTest& t) { t.WriteFile("b.syx", dump); t.AtWireRate(); },
         [&](WindowTest& t, CMainDialog& w) {
             InBank([&](WindowTest& t, CDialog& d) {
                 t.OnDialog(IDD_BULK_SEND, [&t](CDialog& send) {
                     EXPECT_EQ(LoadResString(IDS_BULK_SUMMARY_SELECTION, {"2"}), send.GetDlgItemText(IDC_SEND_SUMMARY));
                     t.Click(send, IDOK);
                     EXPECT_TRUE(t.WaitFor([&] { return send.IsEnding(); }));
                 });
                 Select(d, {5, 1}), t.Press(d, IDC_BANK_SEND), t.PressCtrlKey(d, IDC_BANK_LIST, 'A');
                 EXPECT_EQ(367u, ListView_GetSelectedCount(d.GetDlgItem(IDC_BANK_LIST)));
                 proposedSlots.clear();
                 Select(d, {99}), t.Press(d, IDC_BANK_SEND_TO_SLOT);    // program 100: its own slot is proposed
                 Select(d, {199}), t.Click(d, IDC_BANK_SEND_TO_SLOT);  // program 200: slot 1
                 EXPECT_EQ((std::vector<std::string>{"100", "1"}), proposedSlots);
             })(t, w);
             EXPECT_EQ(long200, t.Received().back()) << "the window's closing cut it";
             EXPECT_EQ(LoadResString(IDS_STATUS_SENT_PROGRAM, {"50", "5000"}), w.GetDlgItemText(IDC_STATUS));
         },
         {OutOfRange(1, 100), OutOfRange(1, 100)},
         {Factory.ProgramMessage(2), Factory.ProgramMessage(6), Stamped(Factory.ProgramMessage(100), 50),
          Bytes(long200.begin(), long200.begin() + 4096), Bytes(long200.begin() + 4096, long200.end())}, {}},
        {"Compare with device: a differing byte, another length, another header only, no answer; Find shows the "
         "rows whose kind or text holds what is typed, and Compare and Save As take the row shown",
         With("b.syx", changed4 + longer5 + otherHeader3), InBank([&](WindowTest& t, CDialog& d) {
             std::string text3 = DumpText(otherHeader3.data(), otherHeader3.size());
             std::transform(text3.begin(), text3.end(), text3.begin(), ::toupper);
             std::size_t boxes = 0;
             for (const char* find : {"", "ALGOR", text3.c_str(), ""})
             {
                 if (++boxes == 4)
                     t.SetReplyMode(EmulatedDevice::ReplyMode::Silent);
                 d.SetDlgItemText(IDC_BANK_FIND, find);
                 Select(d, {0});
                 EXPECT_TRUE(IsWindowEnabled(d.GetDlgItem(IDC_BANK_COMPARE))) << find;
                 t.Click(d, IDC_BANK_COMPARE);
                 EXPECT_TRUE(t.WaitFor([&] { return t.m_ui->boxes.size() == boxes; }));
             }
             d.SetDlgItemText(IDC_BANK_FIND, text3);
             EXPECT_EQ(0u, ListView_GetSelectedCount(d.GetDlgItem(IDC_BANK_LIST)));  // the selected row was another message
             EXPECT_EQ(LoadResString(IDS_BANK_SUMMARY, {"3", "2", "1"}) + " " + LoadResString(IDS_BANK_SHOWN, {"1"}),
                       d.GetDlgItemText(IDC_BANK_SUMMARY));
             EXPECT_EQ("3", Cell(d, 0, 0));
             Select(d, {0}), t.m_ui->files = {t.Path("p3.syx")}, t.Press(d, IDC_BANK_SAVE_AS);
         }),
         {Error(IDS_COMPARE_DIFFERS, {Named("Program 4", changed4), "9", Hex(changed4[9]), Hex(changed4[9] ^ 1)}),
          Error(IDS_COMPARE_LENGTH,
                {LoadResString(IDS_DUMP_WITH_TEXT, {"Algorithm 5", std::string(ShownTextLength, 'x') + "..."}),
                 std::to_string(longer5.size()), std::to_string(longer5.size() - tail.size())}),
          Note(IDS_COMPARE_SAME, {Named("Program 3", otherHeader3)}), Error(IDS_NO_REPLY), Stored("p3.syx")},
         {Request(4), {0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x31, 0x04, 0xF7}, Request(3), Request(4)},
         {{"p3.syx", otherHeader3}}},
        {"Save As while a comparison waits for its reply: each keeps its own bytes", With("b.syx", dump),
         InBank([&](WindowTest& t, CDialog& d) {
             t.SetReplyMode(EmulatedDevice::ReplyMode::Silent), Select(d, {2}), t.Click(d, IDC_BANK_COMPARE);
             Select(d, {5}), t.m_ui->files = {t.Path("s.syx")}, t.Click(d, IDC_BANK_SAVE_AS), t.m_driver->InjectInput(program3);
             EXPECT_TRUE(t.WaitFor([&] { return t.m_ui->boxes.size() == 2; }));
         }),
         {Stored("s.syx"), Note(IDS_COMPARE_SAME, {Named("Program 3", program3)})}, {Request(3)}, {{"s.syx", Factory.ProgramMessage(6)}}},
        {"a damaged MIDI file: nothing to show", With("b.syx", {'M', 'T', 'h', 'd', 0, 0, 0, 6}),
         InBank([](WindowTest&, CDialog&) { ADD_FAILURE() << "the window opened"; }),
         {Error(IDS_BANK_MIDI_FILE_DAMAGED, {"b.syx", LoadResString(IDS_MIDI_FILE_REASON_BASE + static_cast<UINT>(MidiFileError::ChunkPastEnd))})}, {}, {}},
        {"an empty file: nothing to show", With("b.syx", {}), InBank([](WindowTest&, CDialog&) { ADD_FAILURE() << "the window opened"; }),
         {FileError(IDS_BANK_FILE_EMPTY, "b.syx")}, {}, {}},
    });
}

TEST_F(BankTest, TheBulkReceiveCountsMessagesAndAsksBeforeStoringAnUnfinishedOne)
{
    // One whole input buffer of a message that has not ended yet.
    const Bytes unfinished = Bytes{0xF0} + Bytes(4095, 0x01);
    const Bytes received = Factory.BulkDump() + unfinished;
    Run({{"No waits for the rest, Yes stores what there is", nullptr,
          [&](WindowTest& t, CMainDialog& w) {
              t.OnDialog(IDD_BULK_RECEIVE, [&](CDialog& d) {
                  EXPECT_TRUE(t.WaitFor([&] {
                      return d.GetDlgItemText(IDC_RECEIVED_MESSAGES) ==
                             LoadResString(IDS_RECEIVED_MESSAGES, {"367", "240", "127"});
                  }));
                  t.m_driver->InjectInput(unfinished);
                  EXPECT_TRUE(t.WaitFor([&] { return d.GetDlgItemText(IDC_RECEIVED_COUNT) == std::to_string(received.size()); }));
                  t.Answer({IDNO});
                  t.Click(d, IDOK);
                  EXPECT_FALSE(d.IsEnding());
                  t.Click(d, IDOK);
              });
              w.SetDlgItemText(IDC_RECEIVE_BULK_FILE, t.Path("r.syx"));
              t.Press(w, IDC_RECEIVE_BULK);
          },
          {Question(IDS_CONFIRM_STORE_INCOMPLETE), Question(IDS_CONFIRM_STORE_INCOMPLETE), Stored("r.syx")},
          {{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x49, 0xF7}}, {{"r.syx", received}}}});
}
