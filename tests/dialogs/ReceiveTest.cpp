// Receiving from the device: a single program or algorithm dump, and the bulk dump.
#include <algorithm>
#include <utility>

#include "dialogs/Durations.h"
#include "framework/File.h"
#include "framework/Strings.h"
#include "framework/Unicode.h"
#include "history/DumpHistory.h"
#include "midi/MidiLog.h"
#include "midi/MidiPortState.h"
#include "protocol/GlobalMemory.h"
#include "resources/resource.h"
#include "support/Bytes.h"
#include "support/WindowTest.h"

namespace
{
using Bytes = MidiTest::Bytes;
using Mode = EmulatedDevice::ReplyMode;
using Act = std::function<void(WindowTest&, CMainDialog&)>;
using Arrange = std::function<void(WindowTest&)>;

const Bytes BulkRequest{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x49, 0xF7};
const Bytes Request1{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x01, 0x00, 0x00, 0xF7};
const Bytes Request7{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x01, 0x00, 0x06, 0xF7};
const Bytes Old{0xF0, 0x01, 0xF7};
const Bytes Program1 = EmulatedDevice().ProgramMessage(1);

Arrange Replies(Mode mode, unsigned first = 0, unsigned second = 0)
{
    return [=](WindowTest& t) {
        t.WithDevice([&](EmulatedDevice& device) { device.SetReplyMode(mode); device.SetErrorCodes(first, second); });
    };
}

// Types the number and the file of one receive group, and presses it: the file in the test's
// folder, or `here` the name alone, that folder being the current one.
Act Receives(const std::string& number, const std::string& file, bool algorithm = false, bool here = false)
{
    return [=](WindowTest& t, CMainDialog& w) {
        const std::wstring previous = PlatformPath(".");
        SetCurrentDirectoryW(here ? PlatformPath(t.Path("")).c_str() : previous.c_str());
        w.SetDlgItemText(algorithm ? IDC_RECEIVE_ALGORITHM_NUMBER : IDC_RECEIVE_PROGRAM_NUMBER, number);
        w.SetDlgItemText(algorithm ? IDC_RECEIVE_ALGORITHM_FILE : IDC_RECEIVE_PROGRAM_FILE, here ? file : t.Path(file));
        t.Press(w, algorithm ? IDC_RECEIVE_ALGORITHM : IDC_RECEIVE_PROGRAM);
        SetCurrentDirectoryW(previous.c_str());
    };
}

// p.syx holds Old; the first write (or flush) of a file fails, as on a full disk.
Arrange FailOnce(CFile::Operation failing)
{
    return [failing](WindowTest& t) {
        t.WriteFile("p.syx", Old);
        CFile::SetFaultHook([failing, failed = false](CFile::Operation operation, const std::string&) mutable -> DWORD {
            return operation == failing && !std::exchange(failed, true) ? ERROR_DISK_FULL : 0;
        });
    };
}

// A bulk receive into `file`; `during` acts in the running dialog.
Act ReceivesBulk(const std::string& file, std::function<void(WindowTest&, CDialog&)> during)
{
    return [=](WindowTest& t, CMainDialog& w) {
        t.OnDialog(IDD_BULK_RECEIVE, during ? std::function<void(CDialog&)>([&t, during](CDialog& d) { during(t, d); })
                                            : nullptr);
        w.SetDlgItemText(IDC_RECEIVE_BULK_FILE, t.Path(file));
        t.Press(w, IDC_RECEIVE_BULK);
    };
}

// Waits until the dialog counts `count` bytes, then presses `button`.
std::function<void(WindowTest&, CDialog&)> AfterCount(std::size_t count, int button = IDOK)
{
    return [=](WindowTest& t, CDialog& dialog) {
        EXPECT_TRUE(t.WaitFor([&] { return dialog.GetDlgItemText(IDC_RECEIVED_COUNT) == std::to_string(count); }));
        EXPECT_FALSE(dialog.IsEnding()) << "only the user ends a bulk reception";
        t.Click(dialog, button);
    };
}

void UntilItEnds(WindowTest& t, CDialog& d) { EXPECT_TRUE(t.WaitFor([&] { return d.IsEnding(); })); }
}

class ReceiveTest : public WindowTest {};

TEST_F(ReceiveTest, SingleDump)
{
    EmulatedDevice sixteen;
    sixteen.SetDeviceNumber(16);
    const Bytes program200 = EmulatedDevice().ProgramMessage(200);
    ASSERT_EQ(5000u, program200.size());
    Run({
        {"the number field and the device number reach the request; the reply is stored as sent, and kept in the "
         "history by its number; in the log Ctrl+A and Ctrl+C copy its rows, Save as... writes them, Save as .syx only "
         "the received message",
         [](WindowTest& t) { PortState().deviceNumber = 16; t.WithDevice([](EmulatedDevice& d) { d.SetDeviceNumber(16); }); },
         [&](WindowTest& t, CMainDialog& w) {
             Receives("129", "p.syx")(t, w);
             ASSERT_EQ(1u, History().Entries().size());
             EXPECT_EQ("_program-129_received.syx", History().Entries()[0].fileName.substr(19));
             EXPECT_EQ(sixteen.ProgramMessage(129), TempFolder::ReadBytes(History().PathOf(History().Entries()[0])));
             w.m_log.Refresh();
             t.PressCtrlKey(w.m_log, IDC_LOG_LIST, 'A');
             t.PressCtrlKey(w.m_log, IDC_LOG_LIST, 'C');
             std::string shown;
             for (int row = 0; row < 7; ++row)
                 for (int column = 0; column < 6; ++column)
                     shown += t.ListCell(w.m_log.GetDlgItem(IDC_LOG_LIST), row, column) + (column < 5 ? "\t" : "\r\n");
             ASSERT_TRUE(OpenClipboard(nullptr));
             HGLOBAL copied = GetClipboardData(CF_UNICODETEXT);
             EXPECT_EQ(shown, Narrow(static_cast<const wchar_t*>(GlobalLock(copied))));
             GlobalUnlock(copied);
             CloseClipboard();
             t.m_ui->files = {t.Path("log.txt"), t.Path("r.syx")};
             t.Press(w.m_log, IDC_LOG_SAVE);
             EXPECT_EQ(Bytes(shown.begin(), shown.end()), t.Files()["log.txt"]);
             DeleteFileW(Widen(t.Path("log.txt")).c_str());
             t.Press(w.m_log, IDC_LOG_SAVE_SYX);
         },
         {Stored("p.syx")}, {{0xF0, 0x00, 0x00, 0x10, 0x0F, 0x41, 0x01, 0x01, 0x00, 0xF7}},
         {{"p.syx", sixteen.ProgramMessage(129)}, {"r.syx", sixteen.ProgramMessage(129)}},
         {"Out|Emulated device|Port opened|", "In|Emulated device|Port opened|", "Out|Emulated device|Command 01|10",
          "In|Emulated device|Program 129 (text \"Wide    Delay\")|1213", "Out|Emulated device|Port closed|", "In|Emulated device|Reset|",
          "In|Emulated device|Port closed|"}},
        {"Save as .syx in the log writes only received messages whole from F0 to F7; an F7 opening a block ends "
         "its message at once", nullptr,
         [](WindowTest& t, CMainDialog& w) {
             MidiLog& log = TheMidiLog();
             const int in = 0, out = 1;
             log.Opened(&in, true, "In X");
             log.Opened(&out, false, "Out X");
             log.Bytes(&out, Old.data(), Old.size());
             for (const Bytes& block : {Bytes{0x01, 0x02, 0xF7}, Bytes{0xF0, 0x7E, 0x10}, Bytes{0xF7}})
                 log.Bytes(&in, block.data(), block.size());
             EXPECT_EQ("In|In X|Another maker or product|4", t.LogRows(w).back());
             for (const Bytes& block : {Bytes{0xF0, 0x05, 0x06}, Old})
                 log.Bytes(&in, block.data(), block.size());
             log.Closed(&in);
             log.Closed(&out);
             t.m_ui->files = {t.Path("r.syx")};
             w.m_log.Refresh();
             t.PressCtrlKey(w.m_log, IDC_LOG_LIST, 'A');
             t.Press(w.m_log, IDC_LOG_SAVE_SYX);
         },
         {}, {}, {{"r.syx", {0xF0, 0x7E, 0x10, 0xF7, 0xF0, 0x01, 0xF7}}},
         {"In|In X|Port opened|", "Out|Out X|Port opened|", "Out|Out X|Another maker or product|3",
          "In|In X|Not one complete message|3", "In|In X|Another maker or product|4", "In|In X|Not one complete message|3",
          "In|In X|Another maker or product|3", "In|In X|Port closed|", "Out|Out X|Port closed|"}},
        {"a reply over two input buffers replaces an existing file after Yes, its name without folder as the "
         "default names are", [](WindowTest& t) { t.WriteFile("p.syx", Old); t.m_driver->SetBlockSizes({4096, 904}); },
         Receives("200", "p.syx", false, true), {Question(IDS_CONFIRM_OVERWRITE), Stored("p.syx")},
         {{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x01, 0x01, 0x47, 0xF7}}, {{"p.syx", program200}}},
        {"an error reply shows the device's text", Replies(Mode::ErrorReply, 1, 3), Receives("1", "p.syx"),
         {ErrorText(LoadResString(213))}, {Request1}, {},
         {"Out|Emulated device|Port opened|", "In|Emulated device|Port opened|", "Out|Emulated device|Command 01|10",
          "In|Emulated device|Error reply 13|12", "Out|Emulated device|Port closed|", "In|Emulated device|Reset|",
          "In|Emulated device|Port closed|"}},
        {"an error the module has no text for shows the general one", Replies(Mode::ErrorReply, 1, 2),
         Receives("1", "p.syx"), {ErrorText(LoadResString(IDS_DEVICE_ERROR_UNKNOWN))}, {Request1}, {}},
        {"a malformed reply is not taken for the dump", Replies(Mode::Malformed), Receives("1", "p.syx"),
         {Error(IDS_NO_REPLY)}, {Request1}, {},
         {"Out|Emulated device|Port opened|", "In|Emulated device|Port opened|", "Out|Emulated device|Command 01|10",
          "In|Emulated device|Message cut short by the driver|1072", "Out|Emulated device|Port closed|",
          "In|Emulated device|No reply in time|", "In|Emulated device|Reset|", "In|Emulated device|Port closed|"}},
        {"a history that cannot be written is said once, and every dump still saved, an algorithm too",
         [](WindowTest& t) { t.WriteFile("h", Old); History().SetFolder(t.Path("h")); },
         [](WindowTest& t, CMainDialog& w) { Receives("1", "p.syx")(t, w); Receives("127", "a.syx", true)(t, w); },
         {ErrorText(LoadResString(IDS_HISTORY_WRITE_FAILED, {DisplayPath(Path("h"))})), Stored("p.syx"),
          Stored("a.syx")},
         {Request1, {0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x31, 0x7E, 0xF7}},
         {{"p.syx", Program1}, {"a.syx", EmulatedDevice().AlgorithmMessage(127)}}},
        {"an empty name is refused with the focus on its field; closing the window while it waits closes the ports",
         Replies(Mode::Silent),
         [](WindowTest& t, CMainDialog& w) {
             w.SetDlgItemText(IDC_RECEIVE_ALGORITHM_FILE, "");
             t.Press(w, IDC_RECEIVE_ALGORITHM);
             EXPECT_EQ(IDC_RECEIVE_ALGORITHM_FILE, t.FocusedId());
             w.SetDlgItemText(IDC_RECEIVE_ALGORITHM_FILE, t.Path("a.syx"));
             t.Click(w, IDC_RECEIVE_ALGORITHM);
         }, {Error(IDS_NO_RECEIVE_FILE)}, {{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x31, 0x00, 0xF7}}},
    });
}

TEST_F(ReceiveTest, BulkDump)
{
    const Bytes dump = EmulatedDevice().BulkDump();
    EmulatedDevice changed;
    changed.SetProgramData(1, {0x01, 0x02, 0x03});
    const Bytes program7 = EmulatedDevice().ProgramMessage(7);
    Bytes shortest;  // 30 algorithms of 100 bytes, the shortest the device sends
    for (std::uint8_t n = 0; n < 30; ++n)
        shortest = shortest + Bytes{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x30, n} + Bytes(91, n) + Bytes{0xF7};
    const Box discard = Question(IDS_CONFIRM_DISCARD, {std::to_string(dump.size())});
    // Wine's driver holds a message that has not ended where the dialog cannot see it.
    const Bytes started(program7.begin(), program7.begin() + 100), rest(program7.begin() + 100, program7.end());
    const Arrange wines = [](WindowTest& t) { Replies(Mode::Silent)(t); t.m_driver->SetLine(EmulatedMidiDriver::Line::Alsa); };
    const Box storeCut = Question(IDS_CONFIRM_STORE_INCOMPLETE, {});
    Run({
        {"OK stores every byte in order of arrival, blocks of any size",
         [](WindowTest& t) {
             t.m_driver->SetBlockSizeGenerator([next = 0]() mutable {
                 static const std::size_t sizes[] = {1, 7, 333, 4096, 29, 1021, 2};
                 return sizes[next++ % 7];
             });
         },
         ReceivesBulk("b.syx", AfterCount(dump.size())), {Stored("b.syx")}, {BulkRequest}, {{"b.syx", dump}}},
        {"a reception that has started never times out, and shows how long ago data last came", Replies(Mode::Silent),
         ReceivesBulk("b.syx", [&](WindowTest& t, CDialog& d) {
             t.m_driver->InjectInput(Old);
             EXPECT_TRUE(t.WaitFor([&] { return d.GetDlgItemText(IDC_RECEIVED_COUNT) == std::to_string(Old.size()); }));
             EXPECT_FALSE(t.WaitFor([&] { return d.IsEnding() || !t.m_ui->boxes.empty(); }, ReplyTimeoutMs() + 500));
             // The silence only grows: wait for it to read a whole second or more, however
             // late a busy machine gets round to showing it. A loaded machine may hand the
             // bytes over in two blocks, and then a rate stands before it.
             const std::string form = LoadResString(IDS_RECEIVE_LAST_DATA, {"\x01"});
             std::vector<std::string> silences;
             for (int seconds = 1; seconds < 120; ++seconds)
                 silences.push_back(FormatDuration(seconds) + form.substr(form.find('\x01') + 1));
             EXPECT_TRUE(t.WaitFor([&] {
                 const std::string shown = d.GetDlgItemText(IDC_RECEIVE_RATE);
                 return std::any_of(silences.begin(), silences.end(), [&](const std::string& silence) {
                     return shown.size() > silence.size() && shown.compare(shown.size() - silence.size(), silence.size(), silence) == 0;
                 });
             }, 30000)) << d.GetDlgItemText(IDC_RECEIVE_RATE);
             AfterCount(Old.size())(t, d);
         }), {Stored("b.syx")}, {BulkRequest}, {{"b.syx", Old}}},
        {"malformed messages are not stored, and their buffers stay in the rotation", Replies(Mode::Malformed),
         ReceivesBulk("b.syx", [&](WindowTest& t, CDialog& d) {
             EXPECT_TRUE(t.m_driver->WaitUntilIdle());
             t.m_driver->InjectInput(program7);
             AfterCount(program7.size())(t, d);
         }), {Stored("b.syx")}, {BulkRequest}, {{"b.syx", program7}}},
        {"OK before anything arrived stores nothing", Replies(Mode::Silent),
         ReceivesBulk("b.syx", [](WindowTest& t, CDialog& d) { t.Click(d, IDOK); }), {Error(IDS_NOTHING_RECEIVED)},
         {BulkRequest}, {}},
        {"No to discarding, after Cancel, Escape or the close box, goes back to the dialog; Yes discards", nullptr,
         ReceivesBulk("b.syx", [&](WindowTest& t, CDialog& d) {
             t.Answer({IDNO, IDNO, IDNO});
             AfterCount(dump.size(), IDCANCEL)(t, d);
             t.PressKey(d, IDOK, VK_ESCAPE);
             SendMessageW(d.GetSafeHwnd(), WM_CLOSE, 0, 0);
             AfterCount(dump.size(), IDCANCEL)(t, d);
         }), {discard, discard, discard, discard}, {BulkRequest}},
        {"an error reply in two-byte blocks shows its text once its codes are in",
         [](WindowTest& t) { Replies(Mode::ErrorReply, 2, 1)(t); t.m_driver->SetBlockLimit(2); },
         ReceivesBulk("b.syx", UntilItEnds), {ErrorText(LoadResString(IDS_DEVICE_ERROR_BASE + 21))}, {BulkRequest}, {}},
        {"the time-out leaves an existing file as it was",
         [](WindowTest& t) { Replies(Mode::Silent)(t); t.WriteFile("b.syx", Old); },
         ReceivesBulk("b.syx", UntilItEnds), {Question(IDS_CONFIRM_OVERWRITE), Error(IDS_NO_REPLY)}, {BulkRequest}, {}},
        {"two receptions in a row do not mix, and the main window receives again afterwards", nullptr,
         [&](WindowTest& t, CMainDialog& w) {
             ReceivesBulk("first.syx", AfterCount(dump.size()))(t, w);
             t.WithDevice([](EmulatedDevice& device) { device.SetProgramData(1, {0x01, 0x02, 0x03}); });
             ReceivesBulk("second.syx", AfterCount(changed.BulkDump().size()))(t, w);
             Receives("7", "p.syx")(t, w);
         },
         {Stored("first.syx"), Stored("second.syx"), Stored("p.syx")}, {BulkRequest, BulkRequest, Request7},
         {{"first.syx", dump}, {"second.syx", changed.BulkDump()}, {"p.syx", program7}}},
        {"OK stores the blocks the driver delivered before it", Replies(Mode::Silent),
         ReceivesBulk("b.syx", [&](WindowTest& t, CDialog& d) {
             t.m_driver->InjectInput(program7);
             ASSERT_TRUE(t.m_driver->WaitUntilIdle());
             t.Click(d, IDOK);
         }), {Stored("b.syx")}, {BulkRequest}, {{"b.syx", program7}}},
        {"Wine's driver: the shortest messages back to back, the window busy for half a second, nothing lost",
         [](WindowTest& t) { Replies(Mode::Silent)(t); t.AtWireRate(EmulatedMidiDriver::Line::Alsa); },
         ReceivesBulk("b.syx", [&](WindowTest& t, CDialog& d) {
             t.m_driver->InjectInput(shortest);
             Sleep(500);  // not a wait: the window's thread is blocked, as by a slow repaint
             AfterCount(shortest.size())(t, d);
             EXPECT_EQ(0u, t.m_driver->DroppedInputBytes());
         }), {Stored("b.syx")}, {BulkRequest}, {{"b.syx", shortest}}},
        {"OK while a message arrives takes back what the driver holds and asks; No goes on receiving, Yes stores the "
         "part the driver held and what came while the question was up", wines,
         ReceivesBulk("b.syx", [&](WindowTest& t, CDialog& d) {
             t.m_driver->InjectInput(started);
             t.Answer({IDNO});
             t.Click(d, IDOK);
             EXPECT_EQ(std::to_string(started.size()), d.GetDlgItemText(IDC_RECEIVED_COUNT));
             t.m_ui->onBox = [&](const Box&) { if (t.m_ui->boxes.size() == 2) t.m_driver->InjectInput(rest); };
             t.Click(d, IDOK);
         }), {storeCut, storeCut, Stored("b.syx")}, {BulkRequest}, {{"b.syx", program7}}},
        {"without memory for its buffer the dialog does not start", nullptr,
         [](WindowTest& t, CMainDialog& w) {
             GlobalMemoryApi::Current().alloc = [](UINT, SIZE_T) -> HGLOBAL { return nullptr; };
             ReceivesBulk("b.syx", nullptr)(t, w);
             GlobalMemoryApi::Current().alloc = GlobalAlloc;
         }, {Error(IDS_OUT_OF_MEMORY)}, {}, {}},
    });
}

// A receive's file is checked before anything is requested; a save that fails once the data
// is in keeps the data until it is stored elsewhere or the user agrees to lose it.
TEST_F(ReceiveTest, TargetsAndFailedSaves)
{
    const std::string discard = std::to_string(Program1.size());
    const std::string longName = std::string(255 - Path("").size() - 4, 'n') + ".syx";
    const std::string nameOf256 = std::string(252, 'n') + ".syx";
    const std::string script = u8"\u65e5\u672c.syx";
    std::string tooLong; // 178 characters, 534 bytes in UTF-8
    for (int i = 0; i < 87; ++i)
        tooLong += script.substr(0, 6);
    tooLong += ".syx";
    const Bytes dump = EmulatedDevice().BulkDump();
    const Box overwrite = Question(IDS_CONFIRM_OVERWRITE);
    const Box writeFailed = FileError(IDS_FILE_WRITE_FAILED, "p.syx");
    const auto refused = [this](const std::string& name) { return FileError(IDS_FILE_OPEN_FAILED, Path(name)); };
    Run({
        {"a folder that does not exist (a bulk receive too), a name the file system refuses, a file another program "
         "holds: nothing is requested", With("p.syx", Old),
         [](WindowTest& t, CMainDialog& w) {
             Receives("1", "missing\\p.syx")(t, w), ReceivesBulk("missing\\b.syx", nullptr)(t, w);
             Receives("1", "a*b.syx")(t, w);
             HANDLE held = CreateFileW(PlatformPath(t.Path("p.syx")).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                       0, nullptr);
             Receives("1", "p.syx")(t, w);
             CloseHandle(held);
         }, {refused("missing\\p.syx"), refused("missing\\b.syx"), refused("a*b.syx"), refused("p.syx")}},
        {"a failed write: the dump is saved where the user chooses instead, the old file stays; no place chosen: "
         "asked before discarding, No offers the choice again; a flush that fails is a failed write, and Yes to "
         "discarding leaves nothing behind", FailOnce(CFile::Operation::Write),
         [](WindowTest& t, CMainDialog& w) {
             t.m_ui->files = {"", t.Path("other.syx")};
             t.Answer({IDYES, IDOK, IDNO, IDOK, IDYES, IDOK, IDYES});
             Receives("1", "p.syx")(t, w);
             EXPECT_FALSE(t.m_ui->fileDialogs.at(1).open) << "not a save-file dialog";
             EXPECT_EQ(t.Path("other.syx"), w.GetDlgItemText(IDC_RECEIVE_PROGRAM_FILE));
             FailOnce(CFile::Operation::Flush)(t);
             Receives("1", "p.syx")(t, w);
         },
         {overwrite, writeFailed, Question(IDS_CONFIRM_DISCARD, {discard}), Stored("other.syx"), overwrite, writeFailed,
          Question(IDS_CONFIRM_DISCARD, {discard})}, {Request1, Request1}, {{"other.syx", Program1}}},
        {"the MIDI log's Save as that cannot write keeps the file that was there", FailOnce(CFile::Operation::Write),
         [](WindowTest& t, CMainDialog& w) {
             const int in = 0;
             TheMidiLog().Opened(&in, true, "In X");
             t.m_ui->files = {t.Path("p.syx")};
             w.m_log.Refresh();
             t.PressCtrlKey(w.m_log, IDC_LOG_LIST, 'A');
             t.Press(w.m_log, IDC_LOG_SAVE);
         }, {writeFailed}, {}, {{"p.syx", Old}}, {"In|In X|Port opened|"}},
        {"a path of 255 characters, a name in any script; an unrelated file named after the target stays as it is",
         With("p.syx.part", Old), [&](WindowTest& t, CMainDialog& w) {
             Receives("1", longName)(t, w), Receives("1", script)(t, w), Receives("1", "p.syx")(t, w);
         }, {Stored(longName), Stored(script), Stored("p.syx")}, {Request1, Request1, Request1},
         {{longName, Program1}, {script, Program1}, {"p.syx", Program1}}},
        {"a bulk dump whose save fails is saved elsewhere; the choice starts at the target, modal to the dialog, "
         "whose Store does nothing meanwhile",
         FailOnce(CFile::Operation::Write),
         [&](WindowTest& t, CMainDialog& w) {
             t.m_ui->files = {t.Path("other.syx")};
             ReceivesBulk("b.syx", [&](WindowTest& t, CDialog& d) {
                 t.m_ui->onFileDialog = [&](const FileDialogRequest& request) {
                     EXPECT_EQ(t.Path("b.syx"), request.initialName);
                     EXPECT_EQ(d.GetSafeHwnd(), request.owner);
                     EXPECT_TRUE(request.modal);
                     t.Click(d, IDOK);
                     t.Click(d, IDCANCEL);
                     EXPECT_FALSE(d.IsEnding());
                 };
                 AfterCount(dump.size())(t, d);
             })(t, w);
         }, {FileError(IDS_FILE_WRITE_FAILED, "b.syx"), Stored("other.syx")}, {BulkRequest}, {{"other.syx", dump}}},
        {"refused before anything is requested: a name longer than the drive takes (255 characters), a read-only "
         "target, a writable target in a folder where no new file may be made", With("p.syx", Old),
         [&](WindowTest& t, CMainDialog& w) {
             Receives("1", nameOf256, false, true)(t, w);
             const std::wstring name = PlatformPath(t.Path("p.syx"));
             SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_READONLY);
             Receives("1", "p.syx")(t, w);
             SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
             CFile::SetFaultHook([](CFile::Operation operation, const std::string&) -> DWORD {
                 return operation == CFile::Operation::Create ? ERROR_ACCESS_DENIED : 0;
             });
             Receives("1", "p.syx")(t, w);
         }, {Error(IDS_NAME_TOO_LONG, {DisplayPath(nameOf256), "255"}), Error(IDS_TARGET_READ_ONLY, {Path("p.syx")}),
             Error(IDS_FOLDER_REFUSES_FILES, {Path("")})}},
        {"a name the file system cuts short (255 bytes under Wine) is not taken for saved", nullptr,
         [&](WindowTest& t, CMainDialog& w) {
             t.m_ui->files = {t.Path("other.syx")};
             Receives("1", tooLong)(t, w);
         }, {Error(IDS_NAME_NOT_KEPT, {DisplayPath(tooLong)}), Stored("other.syx")}, {Request1},
         {{"other.syx", Program1}}},
        {"the file that answers to such a name is left as it was, and nothing is requested",
         With(tooLong.substr(0, 255), Old), Receives("1", tooLong), {Error(IDS_NAME_NOT_KEPT, {DisplayPath(tooLong)})},
         {}, {}},
    });
}
