// Receiving from the device: a single program or algorithm dump, and the bulk dump.
#include "dialogs/BulkReceiveDialog.h"
#include "framework/File.h"
#include "framework/Strings.h"
#include "midi/MidiPortState.h"
#include "protocol/GlobalMemory.h"
#include "resources/resource.h"
#include "support/WindowTest.h"

namespace
{
using Bytes = MidiTest::Bytes;
using Mode = EmulatedDevice::ReplyMode;

const Bytes BulkRequest{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x49, 0xF7};
const Bytes Old{0xF0, 0x01, 0xF7};

Bytes ProgramRequest(std::uint8_t high, std::uint8_t low)
{
    return {0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x01, high, low, 0xF7};
}

// What a factory-fresh device sends for a program, on the given device number.
Bytes FactoryProgram(int number, int device = 1)
{
    EmulatedDevice factory;
    factory.SetDeviceNumber(device);
    return factory.ProgramMessage(number);
}

// Types the number and the file (in the test's folder) of one receive group, and presses it.
void Receive(WindowTest& t, CMainDialog& w, bool algorithm, const std::string& number, const std::string& file)
{
    t.Type(w, algorithm ? IDC_RECEIVE_ALGORITHM_NUMBER : IDC_RECEIVE_PROGRAM_NUMBER, number);
    t.Type(w, algorithm ? IDC_RECEIVE_ALGORITHM_FILE : IDC_RECEIVE_PROGRAM_FILE, t.Path(file));
    t.Press(w, algorithm ? IDC_RECEIVE_ALGORITHM : IDC_RECEIVE_PROGRAM);
}

// The first write (or flush) of a file fails, as on a full disk; later ones succeed.
std::function<void(WindowTest&)> FailOnce(CFile::Operation failing)
{
    return [failing](WindowTest& t) {
        t.WriteFile("p.syx", Old);
        CFile::SetFaultHook([failing, failed = false](CFile::Operation operation, const std::string&) mutable -> DWORD {
            if (operation != failing || failed)
                return 0;
            failed = true;
            return ERROR_DISK_FULL;
        });
    };
}

// Runs a bulk receive into `file`; `during` acts in the running dialog.
void ReceiveBulk(WindowTest& t, CMainDialog& w, const std::string& file, std::function<void(CDialog&)> during)
{
    t.OnDialog(IDD_BULK_RECEIVE, std::move(during));
    t.Type(w, IDC_RECEIVE_BULK_FILE, t.Path(file));
    t.Press(w, IDC_RECEIVE_BULK);
}

// Waits until the dialog counts `count` bytes, then presses `button`.
std::function<void(CDialog&)> AfterCount(WindowTest& t, std::size_t count, int button)
{
    return [&t, count, button](CDialog& dialog) {
        EXPECT_TRUE(t.WaitFor([&] { return t.TextOf(dialog, IDC_RECEIVED_COUNT) == std::to_string(count); }));
        EXPECT_FALSE(dialog.IsEnding()) << "only the user ends a bulk reception";
        t.Click(dialog, button);
    };
}
}

class ReceiveTest : public WindowTest
{
};

TEST_F(ReceiveTest, SingleDump)
{
    const Bytes program200 = FactoryProgram(200);
    ASSERT_EQ(5000u, program200.size());
    Run({
        {"the number field and the device number reach the request; the reply is stored as sent",
         [](WindowTest& t) {
             PortState().deviceNumber = 16;
             t.WithDevice([](EmulatedDevice& device) { device.SetDeviceNumber(16); });
         },
         [](WindowTest& t, CMainDialog& w) { Receive(t, w, false, "129", "p.syx"); },
         {Stored("p.syx")},
         {{0xF0, 0x00, 0x00, 0x10, 0x0F, 0x41, 0x01, 0x01, 0x00, 0xF7}}, {{"p.syx", FactoryProgram(129, 16)}}},
        {"an algorithm", nullptr,
         [](WindowTest& t, CMainDialog& w) { Receive(t, w, true, "127", "a.syx"); },
         {Stored("a.syx")},
         {{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x31, 0x7E, 0xF7}},
         {{"a.syx", EmulatedDevice().AlgorithmMessage(127)}}},
        {"a reply over two input buffers replaces an existing file after Yes",
         [](WindowTest& t) {
             t.WriteFile("p.syx", Old);
             t.m_driver->SetBlockSizes({4096, 904});
         },
         [](WindowTest& t, CMainDialog& w) { Receive(t, w, false, "200", "p.syx"); },
         {Question(IDS_CONFIRM_OVERWRITE), Stored("p.syx")}, {ProgramRequest(0x01, 0x47)}, {{"p.syx", program200}}},
        {"No to the overwrite question",
         [](WindowTest& t) { t.WriteFile("p.syx", Old); },
         [](WindowTest& t, CMainDialog& w) {
             t.Answer({IDNO});
             Receive(t, w, false, "1", "p.syx");
         }, {Question(IDS_CONFIRM_OVERWRITE)}, {}, {{"p.syx", Old}}},
        {"an error reply shows the device's text and stores nothing",
         [](WindowTest& t) {
             t.WithDevice([](EmulatedDevice& device) {
                 device.SetReplyMode(Mode::ErrorReply);
                 device.SetErrorCodes(1, 3);
             });
         },
         [](WindowTest& t, CMainDialog& w) { Receive(t, w, false, "1", "p.syx"); }, {ErrorText(LoadResString(213))},
         {ProgramRequest(0x00, 0x00)}, {}},
        {"an error the module has no text for shows the general one",
         [](WindowTest& t) {
             t.WithDevice([](EmulatedDevice& device) {
                 device.SetReplyMode(Mode::ErrorReply);
                 device.SetErrorCodes(1, 2);
             });
         },
         [](WindowTest& t, CMainDialog& w) { Receive(t, w, false, "1", "p.syx"); },
         {ErrorText(LoadResString(IDS_DEVICE_ERROR_UNKNOWN))}, {ProgramRequest(0x00, 0x00)}, {}},
        {"a silent device times out; only Cancel is usable while the window waits",
         [](WindowTest& t) { t.SetReplyMode(Mode::Silent); },
         [](WindowTest& t, CMainDialog& w) {
             t.Type(w, IDC_RECEIVE_PROGRAM_FILE, t.Path("p.syx"));
             t.Click(w, IDC_RECEIVE_PROGRAM);
             EXPECT_EQ(std::vector<int>{IDCANCEL}, t.EnabledControls(w));
             t.Settle();
             EXPECT_TRUE(t.WaitFor([&] { return !t.m_ui->boxes.empty(); }));
             EXPECT_TRUE(IsWindowEnabled(w.GetDlgItem(IDC_RECEIVE_PROGRAM)));
             EXPECT_TRUE(IsWindowEnabled(w.GetDlgItem(IDC_SEND_BULK)));
         }, {Error(IDS_NO_REPLY)}, {ProgramRequest(0x00, 0x00)}, {}},
        {"closing the window while it waits closes the ports",
         [](WindowTest& t) { t.SetReplyMode(Mode::Silent); },
         [](WindowTest& t, CMainDialog& w) {
             t.Type(w, IDC_RECEIVE_ALGORITHM_FILE, t.Path("a.syx"));
             t.Click(w, IDC_RECEIVE_ALGORITHM);
         }, {},
         {{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x31, 0x00, 0xF7}}, {}},
        {"an empty name is refused with the focus on its field", nullptr,
         [](WindowTest& t, CMainDialog& w) {
             for (int field : {IDC_RECEIVE_PROGRAM_FILE, IDC_RECEIVE_ALGORITHM_FILE})
             {
                 t.Type(w, field, "");
                 t.Press(w, field == IDC_RECEIVE_PROGRAM_FILE ? IDC_RECEIVE_PROGRAM : IDC_RECEIVE_ALGORITHM);
                 EXPECT_EQ(field, t.FocusedId());
             }
         }, {Error(IDS_NO_RECEIVE_FILE), Error(IDS_NO_RECEIVE_FILE)}, {}, {}},
    });
}

TEST_F(ReceiveTest, BulkDump)
{
    const Bytes dump = EmulatedDevice().BulkDump();
    const Bytes program7 = FactoryProgram(7);
    Run({
        {"OK stores every byte in order of arrival, blocks of any size",
         [](WindowTest& t) {
             t.m_driver->SetBlockSizeGenerator([next = 0]() mutable {
                 static const std::size_t sizes[] = {1, 7, 333, 4096, 29, 1021, 2};
                 return sizes[next++ % 7];
             });
         },
         [&](WindowTest& t, CMainDialog& w) { ReceiveBulk(t, w, "b.syx", AfterCount(t, dump.size(), IDOK)); },
         {Stored("b.syx")}, {BulkRequest}, {{"b.syx", dump}}},
        {"a reception that has started never times out",
         [](WindowTest& t) { t.SetReplyMode(Mode::Silent); },
         [&](WindowTest& t, CMainDialog& w) {
             ReceiveBulk(t, w, "b.syx", [&](CDialog& dialog) {
                 t.m_driver->InjectInput(program7);
                 EXPECT_FALSE(t.WaitFor([&] { return dialog.IsEnding() || !t.m_ui->boxes.empty(); },
                                        ReplyTimeoutMs() + 500));
                 AfterCount(t, program7.size(), IDOK)(dialog);
             });
         },
         {Stored("b.syx")}, {BulkRequest}, {{"b.syx", program7}}},
        {"malformed messages keep their buffers in the rotation",
         [](WindowTest& t) { t.SetReplyMode(Mode::Silent); },
         [&](WindowTest& t, CMainDialog& w) {
             ReceiveBulk(t, w, "b.syx", [&](CDialog& dialog) {
                 for (int i = 0; i <= MidiInputBufferCount; ++i)
                 {
                     const int added = t.m_driver->CallCount(MidiCall::InAddBuffer);
                     t.m_driver->InjectLongError();
                     EXPECT_TRUE(t.WaitFor([&] { return t.m_driver->CallCount(MidiCall::InAddBuffer) > added; }));
                 }
                 t.m_driver->InjectInput(program7);
                 AfterCount(t, program7.size(), IDOK)(dialog);
             });
         },
         {Stored("b.syx")}, {BulkRequest}, {{"b.syx", program7}}},
        {"OK before anything arrived stores nothing",
         [](WindowTest& t) { t.SetReplyMode(Mode::Silent); },
         [](WindowTest& t, CMainDialog& w) { ReceiveBulk(t, w, "b.syx", [&](CDialog& d) { t.Click(d, IDOK); }); },
         {Error(IDS_NOTHING_RECEIVED)}, {BulkRequest}, {}},
        {"Cancel discards what arrived", nullptr,
         [&](WindowTest& t, CMainDialog& w) { ReceiveBulk(t, w, "b.syx", AfterCount(t, dump.size(), IDCANCEL)); }, {},
         {BulkRequest}, {}},
        {"an error reply in two-byte blocks shows its text once its codes are in",
         [](WindowTest& t) {
             t.WithDevice([](EmulatedDevice& device) {
                 device.SetReplyMode(Mode::ErrorReply);
                 device.SetErrorCodes(2, 1);
             });
             t.m_driver->SetBlockLimit(2);
         },
         [](WindowTest& t, CMainDialog& w) {
             ReceiveBulk(t, w, "b.syx", [&](CDialog& d) { EXPECT_TRUE(t.WaitFor([&] { return d.IsEnding(); })); });
         },
         {ErrorText(LoadResString(IDS_DEVICE_ERROR_BASE + 21))}, {BulkRequest}, {}},
        {"the time-out leaves an existing file as it was",
         [](WindowTest& t) {
             t.SetReplyMode(Mode::Silent);
             t.WriteFile("b.syx", Old);
         },
         [](WindowTest& t, CMainDialog& w) {
             ReceiveBulk(t, w, "b.syx", [&](CDialog& d) { EXPECT_TRUE(t.WaitFor([&] { return d.IsEnding(); })); });
         }, {Question(IDS_CONFIRM_OVERWRITE), Error(IDS_NO_REPLY)}, {BulkRequest}, {{"b.syx", Old}}},
        {"two receptions in a row do not mix", nullptr,
         [&](WindowTest& t, CMainDialog& w) {
             ReceiveBulk(t, w, "first.syx", AfterCount(t, dump.size(), IDOK));
             t.WithDevice([](EmulatedDevice& device) { device.SetProgramData(1, {0x01, 0x02, 0x03}); });
             ReceiveBulk(t, w, "second.syx", AfterCount(t, t.BulkDump().size(), IDOK));
         },
         {Stored("first.syx"), Stored("second.syx")},
         {BulkRequest, BulkRequest},
         {{"first.syx", dump}, {"second.syx", [] {
               EmulatedDevice changed;
               changed.SetProgramData(1, {0x01, 0x02, 0x03});
               return changed.BulkDump();
           }()}}},
        {"without memory for its buffer the dialog does not start", nullptr,
         [](WindowTest& t, CMainDialog& w) {
             const GlobalMemoryApi saved = GlobalMemoryApi::Current();
             GlobalMemoryApi::Current().alloc = [](UINT, SIZE_T) -> HGLOBAL { return nullptr; };
             ReceiveBulk(t, w, "b.syx", nullptr);
             GlobalMemoryApi::Current() = saved;
         }, {Error(IDS_OUT_OF_MEMORY)}, {}, {}},
        {"a port failure ends the dialog before the request",
         [](WindowTest& t) { t.m_driver->FailCall(MidiCall::OutPrepareHeader, MMSYSERR_NOMEM); },
         [](WindowTest& t, CMainDialog& w) { ReceiveBulk(t, w, "b.syx", nullptr); },
         {Error(IDS_OUTPUT_PREPARE_FAILED)}, {}, {}},
    });
}

// A buffer that cannot be given back is reported and leaves the rotation; the two others
// carry the rest of the dump.
TEST_F(ReceiveTest, BulkDumpLosingOneBuffer)
{
    const Bytes dump = EmulatedDevice().BulkDump();
    const struct
    {
        MidiCall call;
        int skip;  // the opening prepares and queues three buffers
        UINT message;
    } failures[] = {
        {MidiCall::InUnprepareHeader, 0, IDS_INPUT_UNPREPARE_FAILED},
        {MidiCall::InPrepareHeader, 3, IDS_INPUT_UNPREPARE_FAILED},
        {MidiCall::InAddBuffer, 3, IDS_INPUT_ADD_FAILED},
    };
    std::vector<WindowCase> cases;
    for (const auto& failure : failures)
        cases.push_back({"string " + std::to_string(failure.message),
                         [failure](WindowTest& t) {
                             t.m_driver->SetBlockLimit(1000);
                             t.m_driver->FailCall(failure.call, MMSYSERR_NOMEM, failure.skip);
                         },
                         [&](WindowTest& t, CMainDialog& w) {
                             ReceiveBulk(t, w, "b.syx", AfterCount(t, dump.size(), IDOK));
                         },
                         {Error(failure.message), Stored("b.syx")}, {BulkRequest},
                         {{"b.syx", dump}}});
    Run(cases);
}

// A receive's file is checked before anything is requested; a save that fails once the data
// is in keeps the data until it is stored elsewhere or the user agrees to lose it.
TEST_F(ReceiveTest, TargetsAndFailedSaves)
{
    const Bytes program1 = FactoryProgram(1);
    const std::string discard = std::to_string(program1.size());
    const std::string longName = std::string(255 - Path("").size() - 4, 'n') + ".syx";
    const Bytes dump = EmulatedDevice().BulkDump();
    Run({
        {"a folder that does not exist: nothing is requested", nullptr,
         [](WindowTest& t, CMainDialog& w) { Receive(t, w, false, "1", "missing\\p.syx"); },
         {FileError(IDS_FILE_OPEN_FAILED, Path("missing\\p.syx"))}, {}, {}},
        {"a name the file system refuses", nullptr,
         [](WindowTest& t, CMainDialog& w) { Receive(t, w, false, "1", "a*b.syx"); },
         {FileError(IDS_FILE_OPEN_FAILED, Path("a*b.syx"))}, {}, {}},
        {"a file another program holds", [](WindowTest& t) { t.WriteFile("p.syx", Old); },
         [](WindowTest& t, CMainDialog& w) {
             HANDLE held = CreateFileW(PlatformPath(t.Path("p.syx")).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                       nullptr);
             Receive(t, w, false, "1", "p.syx");
             CloseHandle(held);
         },
         {FileError(IDS_FILE_OPEN_FAILED, Path("p.syx"))}, {}, {{"p.syx", Old}}},
        {"a failed write: the dump is saved where the user chooses instead, the old file stays",
         FailOnce(CFile::Operation::Write),
         [](WindowTest& t, CMainDialog& w) {
             t.m_ui->ChooseFiles({t.Path("other.syx")});
             Receive(t, w, false, "1", "p.syx");
             EXPECT_FALSE(t.m_ui->fileDialogs.at(0).open) << "not a save-file dialog";
             EXPECT_EQ(t.Path("other.syx"), t.TextOf(w, IDC_RECEIVE_PROGRAM_FILE));
         },
         {Question(IDS_CONFIRM_OVERWRITE), FileError(IDS_FILE_WRITE_FAILED, "p.syx"), Stored("other.syx")},
         {ProgramRequest(0x00, 0x00)}, {{"p.syx", Old}, {"other.syx", program1}}},
        {"no other place chosen: asked before discarding, No offers the choice again",
         FailOnce(CFile::Operation::Write),
         [](WindowTest& t, CMainDialog& w) {
             t.m_ui->ChooseFiles({"", t.Path("other.syx")});
             t.Answer({IDYES, IDOK, IDNO});
             Receive(t, w, false, "1", "p.syx");
         },
         {Question(IDS_CONFIRM_OVERWRITE), FileError(IDS_FILE_WRITE_FAILED, "p.syx"),
          Question(IDS_CONFIRM_DISCARD, {discard}, true), Stored("other.syx")},
         {ProgramRequest(0x00, 0x00)}, {{"p.syx", Old}, {"other.syx", program1}}},
        {"a flush that fails is a failed write; Yes to discarding leaves nothing behind",
         FailOnce(CFile::Operation::Flush),
         [](WindowTest& t, CMainDialog& w) {
             t.Answer({IDYES, IDOK, IDYES});
             Receive(t, w, false, "1", "p.syx");
         },
         {Question(IDS_CONFIRM_OVERWRITE), FileError(IDS_FILE_WRITE_FAILED, "p.syx"),
          Question(IDS_CONFIRM_DISCARD, {discard}, true)},
         {ProgramRequest(0x00, 0x00)}, {{"p.syx", Old}}},
        {"an unrelated file named after the target stays as it is",
         [](WindowTest& t) { t.WriteFile("p.syx.part", Old); },
         [](WindowTest& t, CMainDialog& w) { Receive(t, w, false, "1", "p.syx"); },
         {Stored("p.syx")}, {ProgramRequest(0x00, 0x00)}, {{"p.syx", program1}, {"p.syx.part", Old}}},
        {"a path of 255 characters", nullptr,
         [&](WindowTest& t, CMainDialog& w) { Receive(t, w, false, "1", longName); },
         {Stored(longName)}, {ProgramRequest(0x00, 0x00)}, {{longName, program1}}},
        {"a name in any script", nullptr,
         [](WindowTest& t, CMainDialog& w) { Receive(t, w, false, "1", u8"\u65e5\u672c.syx"); },
         {Stored(u8"\u65e5\u672c.syx")}, {ProgramRequest(0x00, 0x00)}, {{u8"\u65e5\u672c.syx", program1}}},
        {"a bulk receive into a folder that does not exist does not start", nullptr,
         [](WindowTest& t, CMainDialog& w) { ReceiveBulk(t, w, "missing\\b.syx", nullptr); },
         {FileError(IDS_FILE_OPEN_FAILED, Path("missing\\b.syx"))}, {}, {}},
        {"a bulk dump whose save fails is saved elsewhere", FailOnce(CFile::Operation::Write),
         [&](WindowTest& t, CMainDialog& w) {
             t.m_ui->ChooseFiles({t.Path("other.syx")});
             ReceiveBulk(t, w, "b.syx", AfterCount(t, dump.size(), IDOK));
         },
         {FileError(IDS_FILE_WRITE_FAILED, "b.syx"), Stored("other.syx")}, {BulkRequest},
         {{"p.syx", Old}, {"other.syx", dump}}},
    });
}
