// Sending to the device: program and algorithm dumps, the program change, the two
// commands, and the bulk send.
#include "dialogs/BulkSendDialog.h"
#include "framework/File.h"
#include "framework/Strings.h"
#include "midi/MidiApp.h"
#include "midi/MidiPortState.h"
#include "protocol/GlobalMemory.h"
#include "resources/resource.h"
#include "support/ModalHook.h"
#include "support/WindowTest.h"

namespace
{
using Bytes = MidiTest::Bytes;

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes joined;
    for (const Bytes& part : parts)
        joined.insert(joined.end(), part.begin(), part.end());
    return joined;
}

// A program dump to device 1 of exactly `length` bytes (at least 10), F0 and F7 included.
Bytes Message(std::size_t length, std::uint8_t program = 0)
{
    Bytes message{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x42, 0x00, program};
    while (message.size() + 1 < length)
        message.push_back(static_cast<std::uint8_t>(message.size() & 0x7F));
    message.push_back(0xF7);
    return message;
}

// `bytes` cut into the pieces the bulk send hands to the driver.
std::vector<Bytes> Pieces(const Bytes& bytes, std::initializer_list<std::size_t> sizes)
{
    std::vector<Bytes> pieces;
    std::size_t at = 0;
    for (std::size_t size : sizes)
    {
        pieces.emplace_back(bytes.begin() + at, bytes.begin() + at + size);
        at += size;
    }
    return pieces;
}

void SendFile(WindowTest& t, CMainDialog& w, int button, const std::string& file)
{
    const int edit = button == IDC_SEND_PROGRAM ? IDC_SEND_PROGRAM_FILE : IDC_SEND_ALGORITHM_FILE;
    t.Type(w, edit, file.empty() ? "" : t.Path(file));
    t.Press(w, button);
}

void ChooseOption(WindowTest& t, int option)
{
    t.OnDialog(IDD_SELECTOR, [option](CDialog& selector) {
        CheckRadioButton(selector.GetSafeHwnd(), IDC_SELECTOR_FIRST, IDC_SELECTOR_FIRST + 2, IDC_SELECTOR_FIRST + option);
        PostMessageA(selector.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
}

// Runs a bulk send of `file`; `during` acts in the running dialog (by default: OK, then
// waiting for the end).
void SendBulk(WindowTest& t, CMainDialog& w, const std::string& file, std::function<void(CDialog&)> during = {})
{
    if (!during)
        during = [&t](CDialog& dialog) {
            t.Click(dialog, IDOK);
            EXPECT_TRUE(t.WaitFor([&] { return dialog.IsEnding(); }));
        };
    t.OnDialog(IDD_BULK_SEND, std::move(during));
    t.Type(w, IDC_SEND_BULK_FILE, t.Path(file));
    t.Press(w, IDC_SEND_BULK);
}

WindowCase BulkCase(std::string name, const Bytes& file, std::vector<Bytes> pieces)
{
    return {std::move(name), [file](WindowTest& t) { t.WriteFile("b.syx", file); },
            [](WindowTest& t, CMainDialog& w) { SendBulk(t, w, "b.syx"); }, {}, std::move(pieces), {{"b.syx", file}}};
}
}

class SendTest : public WindowTest
{
};

TEST_F(SendTest, ProgramAndAlgorithmDumps)
{
    // As another device might have sent it: other device byte, command and number.
    const Bytes program{0xF0, 0x00, 0x00, 0x10, 0x05, 0x41, 0x40, 0x01, 0x20, 0x10, 0x20, 0x30, 0x7F, 0x00, 0xF7};
    const Bytes algorithm{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x30, 0x11, 0x55, 0x66, 0xF7};
    Bytes full = Message(MidiBufferSize);
    Run({
        {"a program goes to the slot typed, with command 42; the file is not changed",
         [&](WindowTest& t) { t.WriteFile("p.syx", program); },
         [](WindowTest& t, CMainDialog& w) {
             t.Type(w, IDC_SEND_PROGRAM_SLOT, "100");
             SendFile(t, w, IDC_SEND_PROGRAM, "p.syx");
             PortState().deviceNumber = 16;
             t.Type(w, IDC_SEND_PROGRAM_SLOT, "1");
             SendFile(t, w, IDC_SEND_PROGRAM, "p.syx");
         }, {},
         {{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x42, 0x00, 0x63, 0x10, 0x20, 0x30, 0x7F, 0x00, 0xF7},
          {0xF0, 0x00, 0x00, 0x10, 0x0F, 0x41, 0x42, 0x00, 0x00, 0x10, 0x20, 0x30, 0x7F, 0x00, 0xF7}},
         {{"p.syx", program}}},
        {"an algorithm keeps its own number, whatever its field holds",
         [&](WindowTest& t) { t.WriteFile("a.syx", algorithm); },
         [](WindowTest& t, CMainDialog& w) {
             t.Type(w, IDC_SEND_ALGORITHM_NUMBER, "64");
             SendFile(t, w, IDC_SEND_ALGORITHM, "a.syx");
         }, {}, {algorithm}, {{"a.syx", algorithm}}},
        {"a file of one whole output buffer goes out whole",
         [&](WindowTest& t) { t.WriteFile("p.syx", full); },
         [](WindowTest& t, CMainDialog& w) { SendFile(t, w, IDC_SEND_PROGRAM, "p.syx"); }, {}, {full},
         {{"p.syx", full}}},
        {"an empty name is refused with the focus on its field", nullptr,
         [](WindowTest& t, CMainDialog& w) {
             SendFile(t, w, IDC_SEND_PROGRAM, "");
             EXPECT_EQ(IDC_SEND_PROGRAM_FILE, t.FocusedId());
             SendFile(t, w, IDC_SEND_ALGORITHM, "");
             EXPECT_EQ(IDC_SEND_ALGORITHM_FILE, t.FocusedId());
         }, {Error(IDS_NO_SEND_FILE), Error(IDS_NO_SEND_FILE)}, {}, {}},
    });
}

// Each problem is reported for both sends, before anything is sent.
TEST_F(SendTest, FilesThatCannotBeSentAsOneDump)
{
    const Bytes tooLarge = Message(MidiBufferSize + 1);
    const Bytes good = Message(20);
    const struct
    {
        const char* name;
        Bytes content;  // empty name: no file at all
        Box shown;
        bool readFault;
    } problems[] = {
        {"large.syx", tooLarge, FileError(IDS_DUMP_FILE_TOO_LARGE, "large.syx"), false},
        {"empty.syx", {}, FileError(IDS_FILE_EMPTY, "empty.syx"), false},
        {"absent.syx", {}, FileError(IDS_FILE_OPEN_FAILED, Path("absent.syx")), false},
        {"unreadable.syx", good, FileError(IDS_FILE_READ_FAILED, "unreadable.syx"), true},
    };
    std::vector<WindowCase> cases;
    for (const auto& problem : problems)
        for (int button : {IDC_SEND_PROGRAM, IDC_SEND_ALGORITHM})
        {
            const std::string name = problem.name;
            const bool present = name != "absent.syx";
            std::map<std::string, Bytes> files;
            if (present)
                files[name] = problem.content;
            cases.push_back({name + " by button " + std::to_string(button),
                             [&problem, present](WindowTest& t) {
                                 if (present)
                                     t.WriteFile(problem.name, problem.content);
                                 if (problem.readFault)
                                     CFile::SetFaultHook([](CFile::Operation op, const std::string&) -> DWORD {
                                         return op == CFile::Operation::Read ? ERROR_READ_FAULT : 0;
                                     });
                             },
                             [name, button, &problem](WindowTest& t, CMainDialog& w) {
                                 if (!problem.readFault)
                                     return SendFile(t, w, button, name);
                                 // The port is open when the read fails; the next opening closes it.
                                 t.Type(w, button == IDC_SEND_PROGRAM ? IDC_SEND_PROGRAM_FILE : IDC_SEND_ALGORITHM_FILE,
                                        t.Path(name));
                                 t.Click(w, button);
                             },
                             {problem.shown}, {},
                             files});
        }
    Run(cases);
}

TEST_F(SendTest, ProgramChangeAndCommands)
{
    const Bytes program = Message(20);
    Run({
        {"the program change goes out on the device number's channel", nullptr,
         [](WindowTest& t, CMainDialog& w) {
             t.Press(w, IDC_PROGRAM_CHANGE);
             PortState().deviceNumber = 16;
             t.Type(w, IDC_PROGRAM_CHANGE_NUMBER, "128");
             t.Press(w, IDC_PROGRAM_CHANGE);
             EXPECT_EQ((std::vector<DWORD>{0x00C0, 0x7FCF}), t.m_driver->ShortMessages());
         }, {}, {}, {}},
        {"an output that cannot be opened is reported for a send and for the program change",
         [&](WindowTest& t) {
             t.WriteFile("p.syx", program);
             t.m_driver->FailCall(MidiCall::OutOpen, MMSYSERR_ALLOCATED, 0, 2);
         },
         [](WindowTest& t, CMainDialog& w) {
             SendFile(t, w, IDC_SEND_PROGRAM, "p.syx");
             t.Press(w, IDC_PROGRAM_CHANGE);
             EXPECT_TRUE(t.m_driver->ShortMessages().empty());
         }, {Error(IDS_OUTPUT_OPEN_FAILED), Error(IDS_OUTPUT_OPEN_FAILED)}, {}, {{"p.syx", program}}},
        {"command 21 after Yes only, even with a bad number field", nullptr,
         [](WindowTest& t, CMainDialog& w) {
             t.Type(w, IDC_RECEIVE_PROGRAM_NUMBER, "abc");
             t.Answer({IDNO});
             t.Press(w, IDC_COMMAND21);
             t.Press(w, IDC_COMMAND21);
         }, {Question(IDS_CONFIRM_COMMAND21), Question(IDS_CONFIRM_COMMAND21)},
         {{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x21, 0xF7}}, {}},
        {"command 22 sends the option chosen, after that option's question", nullptr,
         [](WindowTest& t, CMainDialog& w) {
             for (int option = 0; option < 3; ++option)
             {
                 ChooseOption(t, option);
                 t.Press(w, IDC_COMMAND22);
             }
         },
         {Question(IDS_CONFIRM_COMMAND22_FIRST), Question(IDS_CONFIRM_COMMAND22_SECOND),
          Question(IDS_CONFIRM_COMMAND22_THIRD)},
         {{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x22, 0x00, 0x00, 0xF7},
          {0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x22, 0x01, 0x00, 0xF7},
          {0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x22, 0x02, 0x00, 0xF7}}, {}},
        {"command 22 sends nothing when the choice is cancelled or the answer is No", nullptr,
         [](WindowTest& t, CMainDialog& w) {
             t.OnDialog(IDD_SELECTOR, [](CDialog& s) { PostMessageA(s.GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0); });
             t.Press(w, IDC_COMMAND22);
             ChooseOption(t, 2);
             t.Answer({IDNO});
             t.Press(w, IDC_COMMAND22);
         }, {Question(IDS_CONFIRM_COMMAND22_THIRD)}, {}, {}},
        {"a message the driver refuses is reported, and closes its transaction",
         [&](WindowTest& t) { t.WriteFile("p.syx", program); },
         [](WindowTest& t, CMainDialog& w) {
             t.Type(w, IDC_RECEIVE_PROGRAM_FILE, t.Path("r.syx"));
             for (int button : {IDC_SEND_PROGRAM, IDC_COMMAND21, IDC_RECEIVE_PROGRAM})
             {
                 t.m_driver->FailCall(MidiCall::OutLongMsg, MIDIERR_NOTREADY);
                 button == IDC_SEND_PROGRAM ? SendFile(t, w, button, "p.syx") : t.Press(w, button);
                 EXPECT_TRUE(IsWindowEnabled(w.GetDlgItem(button)));
             }
         },
         {Error(IDS_SEND_REFUSED, {std::to_string(MIDIERR_NOTREADY)}), Question(IDS_CONFIRM_COMMAND21),
          Error(IDS_SEND_REFUSED, {std::to_string(MIDIERR_NOTREADY)}),
          Error(IDS_SEND_REFUSED, {std::to_string(MIDIERR_NOTREADY)})}, {}, {{"p.syx", program}}},
    });
}

// While a message is still on its way, every operation that needs the output port is
// refused; the message goes out whole, and afterwards the same operation works.
TEST_F(SendTest, OperationsWaitUntilTheMessageOnItsWayHasGoneOut)
{
    const Bytes program = Message(3000, 4);  // almost a second on the wire
    Bytes stamped = program;
    stamped[8] = 0x04;
    const int refused[] = {IDC_SEND_PROGRAM,    IDC_SEND_ALGORITHM, IDC_PROGRAM_CHANGE, IDC_COMMAND21,
                           IDC_RECEIVE_PROGRAM, IDC_RECEIVE_BULK,   IDC_SEND_BULK};
    std::vector<Box> shown;
    for (int button : refused)
    {
        if (button == IDC_COMMAND21)
            shown.push_back(Question(IDS_CONFIRM_COMMAND21));
        shown.push_back(Error(IDS_STILL_SENDING));
    }
    Run({{"seven operations during one send",
          [&](WindowTest& t) {
              t.m_driver->SetPace(EmulatedMidiDriver::Pace::WireRate);
              t.WriteFile("p.syx", program);
          },
          [&](WindowTest& t, CMainDialog& w) {
              for (int edit : {IDC_SEND_PROGRAM_FILE, IDC_SEND_ALGORITHM_FILE, IDC_SEND_BULK_FILE})
                  t.Type(w, edit, t.Path("p.syx"));
              t.Type(w, IDC_RECEIVE_PROGRAM_FILE, t.Path("r.syx"));
              t.Type(w, IDC_RECEIVE_BULK_FILE, t.Path("b.syx"));
              t.Type(w, IDC_SEND_PROGRAM_SLOT, "5");
              t.Click(w, IDC_SEND_PROGRAM);
              for (int button : refused)
                  t.Click(w, button);
              EXPECT_EQ(1u, t.Sent().size());
              t.Settle();
              t.Press(w, IDC_SEND_PROGRAM);
          },
          shown,
          {stamped, stamped},
          {{"p.syx", program}}}});
    std::vector<Bytes> received;
    WithDevice([&](EmulatedDevice& device) { received = device.ReceivedMessages(); });
    EXPECT_EQ((std::vector<Bytes>{stamped, stamped}), received) << "a message arrived cut short";
}

TEST_F(SendTest, BulkDumpIsSentMessageByMessageInPiecesOfAtMost4096Bytes)
{
    const Bytes three = Join({Message(10, 1), Message(5000, 2), Message(20, 3)});
    const Bytes tail = Join({Message(10), Bytes(5000, 0x11)});
    const Bytes noEnd(9000, 0x22);
    const Bytes twoEnds = Join({Message(10), {0xF7}, Message(12)});
    const Bytes aroundBuffer = Join({Message(4096), Message(4097)});
    Run({
        BulkCase("messages of 10, 5000 and 20 bytes", three, Pieces(three, {10, 4096, 904, 20})),
        BulkCase("bytes after the last F7 are one more message", tail, Pieces(tail, {10, 4096, 904})),
        BulkCase("a file without F7 is one message", noEnd, Pieces(noEnd, {4096, 4096, 808})),
        BulkCase("two F7 in a row make a message of one byte", twoEnds, Pieces(twoEnds, {10, 1, 12})),
        BulkCase("messages around the buffer size", aroundBuffer, Pieces(aroundBuffer, {4096, 4096, 1})),
        BulkCase("one byte", {0xF7}, {{0xF7}}),
    });
}

// The dialog shows the size before anything goes out, and after each completion the bytes
// sent so far.
TEST_F(SendTest, BulkDumpCounts)
{
    class Recording : public CBulkSendDialog
    {
    public:
        void OnMidiOut(HMIDIOUT handle, UINT message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2) override
        {
            CBulkSendDialog::OnMidiOut(handle, message, instance, p1, p2);
            if (message == MOM_DONE)
                counts.push_back(GetDlgItemText(IDC_SENT_COUNT));
        }
        std::vector<std::string> counts;
    } dialog;
    WriteFile("b.syx", Join({Message(10), Message(5000), Message(20)}));
    dialog.m_fileName = Path("b.syx");
    ModalHook hook([&](CDialog&) {
        EXPECT_EQ("5030", TextOf(dialog, IDC_FILE_SIZE));
        EXPECT_EQ("0", TextOf(dialog, IDC_SENT_COUNT));
        EXPECT_TRUE(Sent().empty()) << "sent before OK";
        Click(dialog, IDOK);
        EXPECT_TRUE(WaitFor([&] { return dialog.IsEnding(); }));
    });
    SetCurrentMidiWindow(&dialog);
    EXPECT_EQ(IDOK, dialog.DoModal());
    SetCurrentMidiWindow(nullptr);
    EXPECT_EQ((std::vector<std::string>{"10", "4106", "5010", "5030"}), dialog.counts);
}

HGLOBAL WINAPI OnlySmallBlocks(UINT flags, SIZE_T bytes)
{
    return bytes <= MidiBufferSize ? GlobalAlloc(flags, bytes) : nullptr;
}

HGLOBAL WINAPI NoMemory(UINT, SIZE_T)
{
    return nullptr;
}

TEST_F(SendTest, BulkDumpCancelAndFailures)
{
    const Bytes two = Join({Message(10), Message(20)});
    const Bytes threeLong = Join({Message(2000, 1), Message(2000, 2), Message(2000, 3)});
    const Bytes large = Join({Message(3000), Message(3000)});
    const std::string refused = std::to_string(MMSYSERR_NOMEM);
    std::vector<WindowCase> cases = {
        {"Cancel before OK sends nothing",
         [&](WindowTest& t) { t.WriteFile("b.syx", two); },
         [](WindowTest& t, CMainDialog& w) { SendBulk(t, w, "b.syx", [&](CDialog& d) { t.Click(d, IDCANCEL); }); },
         {}, {}, {{"b.syx", two}}},
        {"Cancel during the transfer stops after the piece in flight",
         [&](WindowTest& t) {
             t.m_driver->SetPace(EmulatedMidiDriver::Pace::WireRate);
             t.WriteFile("b.syx", threeLong);
         },
         [](WindowTest& t, CMainDialog& w) {
             SendBulk(t, w, "b.syx", [&](CDialog& d) {
                 t.Click(d, IDOK);
                 EXPECT_TRUE(t.WaitFor([&] { return !t.Sent().empty(); }));
                 t.Click(d, IDCANCEL);
                 EXPECT_FALSE(d.IsEnding()) << "Cancel did not wait for the piece in flight";
                 EXPECT_TRUE(t.WaitFor([&] { return d.IsEnding(); }));
                 EXPECT_EQ("2000", t.TextOf(d, IDC_SENT_COUNT));
             });
         }, {}, {Message(2000, 1)}, {{"b.syx", threeLong}}},
        {"a missing file", nullptr,
         [](WindowTest& t, CMainDialog& w) { SendBulk(t, w, "absent.syx"); },
         {FileError(IDS_FILE_OPEN_FAILED, Path("absent.syx"))}, {}, {}},
        {"an empty file",
         [](WindowTest& t) { t.WriteFile("b.syx", {}); },
         [](WindowTest& t, CMainDialog& w) { SendBulk(t, w, "b.syx"); },
         {FileError(IDS_FILE_EMPTY, "b.syx")}, {},
         {{"b.syx", {}}}},
        {"a file too large for memory",
         [&](WindowTest& t) { t.WriteFile("b.syx", large); },
         [](WindowTest& t, CMainDialog& w) {
             GlobalMemoryApi::Current().alloc = OnlySmallBlocks;
             SendBulk(t, w, "b.syx");
             GlobalMemoryApi::Current().alloc = GlobalAlloc;
         }, {Error(IDS_OUT_OF_MEMORY)}, {}, {{"b.syx", large}}},
        {"no memory for the dialog's buffer: the dialog does not start",
         [&](WindowTest& t) { t.WriteFile("b.syx", large); },
         [](WindowTest& t, CMainDialog& w) {
             GlobalMemoryApi::Current().alloc = NoMemory;
             SendBulk(t, w, "b.syx");
             GlobalMemoryApi::Current().alloc = GlobalAlloc;
         }, {Error(IDS_OUT_OF_MEMORY)}, {}, {{"b.syx", large}}},
    };
    const struct
    {
        MidiCall call;
        int skip;
        Box shown;
        std::size_t piecesSent;
    } failures[] = {
        {MidiCall::OutOpen, 0, Error(IDS_OUTPUT_OPEN_FAILED), 0},
        {MidiCall::OutPrepareHeader, 0, Error(IDS_OUTPUT_PREPARE_FAILED), 0},
        {MidiCall::OutPrepareHeader, 1, Error(IDS_OUTPUT_PREPARE_FAILED), 1},
        {MidiCall::OutUnprepareHeader, 0, Error(IDS_OUTPUT_UNPREPARE_FAILED), 1},
        // A refused piece never completes: the dialog ends by itself.
        {MidiCall::OutLongMsg, 0, Error(IDS_SEND_REFUSED, {refused}), 0},
        {MidiCall::OutLongMsg, 1, Error(IDS_SEND_REFUSED, {refused}), 1},
    };
    for (const auto& failure : failures)
        cases.push_back({failure.shown.text + ", after " + std::to_string(failure.skip),
                         [&two, &failure](WindowTest& t) {
                             t.WriteFile("b.syx", two);
                             t.m_driver->FailCall(failure.call, MMSYSERR_NOMEM, failure.skip);
                         },
                         [](WindowTest& t, CMainDialog& w) { SendBulk(t, w, "b.syx"); },
                         {failure.shown},
                         std::vector<Bytes>(failure.piecesSent, Message(10)),
                         {{"b.syx", two}}});
    Run(cases);
}

// A program or algorithm file goes out only as one complete message of this device; the
// checks run before any port opens, in order: size, one message, the maker.
TEST_F(SendTest, OnlyOneCompleteDumpGoesOut)
{
    const Bytes two = Join({Message(20, 1), Message(30, 2)});
    Bytes strayStatus = Message(20);
    strayStatus[12] = 0x90;
    const Bytes other{0xF0, 0x41, 0x10, 0x00, 0x00, 0x42, 0x42, 0x00, 0x00, 0x11, 0xF7};
    Bytes otherStamped = other;
    const Bytes header{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x30};
    std::copy(header.begin(), header.end(), otherStamped.begin());
    const Bytes midiFile{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60, 0xF7};
    const auto refused = [](const char* name, const Bytes& content, Box shown) {
        return WindowCase{name, [content](WindowTest& t) { t.WriteFile("f.syx", content); },
                          [](WindowTest& t, CMainDialog& w) {
                              SendFile(t, w, IDC_SEND_PROGRAM, "f.syx");
                              EXPECT_EQ(0, t.m_driver->CallCount(MidiCall::OutOpen));
                          },
                          {std::move(shown)}, {}, {{"f.syx", content}}};
    };
    Run({
        refused("two dumps", two, Error(IDS_DUMP_HOLDS_MESSAGES, {"f.syx", "2"})),
        refused("five bytes", {0xF0, 0x00, 0x00, 0x10, 0xF7}, Error(IDS_DUMP_TOO_SHORT, {"f.syx"})),
        refused("no F7 at the end", Bytes(20, 0x01), Error(IDS_DUMP_NO_END, {"f.syx"})),
        refused("a status byte inside", strayStatus, Error(IDS_DUMP_STATUS_BYTE, {"f.syx", "", "90", "12"})),
        refused("a MIDI file", midiFile, Error(IDS_DUMP_IS_MIDI_FILE, {"f.syx"})),
        refused("two dumps of another maker: refused, not asked", Join({other, other}),
                Error(IDS_DUMP_HOLDS_MESSAGES, {"f.syx", "2"})),
        {"another maker's dump only after Yes (No is the default)", [&](WindowTest& t) { t.WriteFile("f.syx", other); },
         [](WindowTest& t, CMainDialog& w) {
             t.Answer({IDNO});
             SendFile(t, w, IDC_SEND_ALGORITHM, "f.syx");
             SendFile(t, w, IDC_SEND_ALGORITHM, "f.syx");
         },
         {Question(IDS_CONFIRM_OTHER_MAKER, {"f.syx"}, true), Question(IDS_CONFIRM_OTHER_MAKER, {"f.syx"}, true)},
         {otherStamped}, {{"f.syx", other}}},
        {"a name in any script", [](WindowTest& t) { t.WriteFile(u8"\u65e5\u672c.syx", Message(20)); },
         [](WindowTest& t, CMainDialog& w) { SendFile(t, w, IDC_SEND_PROGRAM, u8"\u65e5\u672c.syx"); }, {},
         {Message(20)}, {{u8"\u65e5\u672c.syx", Message(20)}}},
    });
}

// Before Send the dialog says what the file holds; a MIDI file goes out as its SysEx messages.
TEST_F(SendTest, BulkDumpSaysWhatItSendsAndPlaysMidiFiles)
{
    const Bytes mixed = Join({{0x01, 0x02}, Message(10), {0xF0, 0x03}, Message(12)});
    // Format 0, one track: two SysEx events, the second in two packets, between a note.
    const Bytes track{0x00, 0xF0, 0x03, 0x7E, 0x01, 0xF7, 0x10, 0x90, 0x3C, 0x40, 0x00, 0xF0, 0x02, 0x7E,
                      0x02, 0x05, 0xF7, 0x03, 0x03, 0x04, 0xF7, 0x00, 0xFF, 0x2F, 0x00};
    Bytes midi{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60, 'M', 'T', 'r', 'k', 0, 0, 0,
               static_cast<std::uint8_t>(track.size())};
    midi.insert(midi.end(), track.begin(), track.end());
    const Bytes damaged(midi.begin(), midi.end() - 5);
    const auto showing = [](std::string summary, std::string warning) {
        return [=](WindowTest& t, CMainDialog& w) {
            SendBulk(t, w, "b.syx", [&](CDialog& d) {
                EXPECT_EQ(summary, t.TextOf(d, IDC_SEND_SUMMARY));
                EXPECT_EQ(warning, t.TextOf(d, IDC_SEND_WARNING));
                EXPECT_TRUE(t.Sent().empty()) << "sent before Send";
                t.Click(d, IDOK);
                EXPECT_EQ(IDCANCEL, t.FocusedId()) << "Escape must still reach Cancel";
                EXPECT_TRUE(t.WaitFor([&] { return d.IsEnding(); }));
                EXPECT_EQ("100 % sent", t.TextOf(d, IDC_SEND_TIME_LEFT));
            });
        };
    };
    Run({
        {"stray bytes and a message without F7 are named", [&](WindowTest& t) { t.WriteFile("b.syx", mixed); },
         showing(Error(IDS_BULK_SUMMARY, {"2"}).text, Error(IDS_BULK_WARNING, {"2", "1"}).text), {},
         Pieces(mixed, {12, 14}), {{"b.syx", mixed}}},
        {"a MIDI file", [&](WindowTest& t) { t.WriteFile("b.syx", midi); },
         showing(Error(IDS_BULK_SUMMARY_MIDI, {"2"}).text, ""), {},
         {{0xF0, 0x7E, 0x01, 0xF7}, {0xF0, 0x7E, 0x02, 0x03, 0x04, 0xF7}}, {{"b.syx", midi}}},
        {"a damaged MIDI file is refused", [&](WindowTest& t) { t.WriteFile("b.syx", damaged); },
         [](WindowTest& t, CMainDialog& w) { SendBulk(t, w, "b.syx"); },
         {Error(IDS_MIDI_FILE_DAMAGED, {"b.syx", LoadResString(IDS_MIDI_FILE_REASON_BASE + 3)})}, {},
         {{"b.syx", damaged}}},
    });
}

// The pause chosen in MIDI Setup follows each message, measured from its completion; Cancel
// during a pause ends the transfer at once.
TEST_F(SendTest, BulkDumpPausesAfterEachMessage)
{
    const Bytes three = Join({Message(10, 1), Message(10, 2), Message(10, 3)});
    Run({
        {"100 ms after each message", [&](WindowTest& t) {
             PortState().pauseMs = 100;
             t.WriteFile("b.syx", three);
         },
         [](WindowTest& t, CMainDialog& w) {
             SendBulk(t, w, "b.syx");
             const auto sent = t.m_driver->LongMessages();
             ASSERT_EQ(3u, sent.size());
             for (std::size_t i = 1; i < sent.size(); ++i)
             {
                 const auto gap = sent[i].handedOver - sent[i - 1].done;
                 EXPECT_GE(gap, std::chrono::milliseconds(99)) << "message " << i;
                 EXPECT_LT(gap, std::chrono::milliseconds(160)) << "message " << i;
             }
         },
         {}, Pieces(three, {10, 10, 10}), {{"b.syx", three}}},
        {"Cancel during a pause", [&](WindowTest& t) {
             PortState().pauseMs = 1000;
             t.WriteFile("b.syx", three);
         },
         [](WindowTest& t, CMainDialog& w) {
             SendBulk(t, w, "b.syx", [&](CDialog& d) {
                 t.Click(d, IDOK);
                 // The count of the first message shows once its pause has begun.
                 EXPECT_TRUE(t.WaitFor([&] { return t.TextOf(d, IDC_SENT_COUNT) == "10"; }));
                 t.PressKey(d, IDCANCEL, VK_ESCAPE);
                 EXPECT_TRUE(d.IsEnding());
             });
         },
         {}, {Message(10, 1)}, {{"b.syx", three}}},
    });
}
