// The demo program under Wine, driven from this process through its windows as a user
// would drive it; what it writes and what reaches its emulated device are compared byte
// for byte with what a fresh emulated device computes.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "DemoProcess.h"
#include "TempFolder.h"
#include "UiDriver.h"
#include "emulator/EmulatedDevice.h"
#include "framework/Settings.h"
#include "framework/Unicode.h"
#include "resources/resource.h"
#include "support/Bytes.h"

namespace
{
using namespace std::chrono_literals;

const std::string DemoProgram = "SysExDumpDemo.exe";
const std::string SettingsKey = "Software\\SysEx Dump Tests\\End to end";

class EndToEnd : public ::testing::Test
{
protected:
    void SetUp() override { CSettings(m_key).DeleteAll(); }
    void TearDown() override { CSettings(m_key).DeleteAll(); }

    // The demo in its build folder, answering at full speed, keeping its settings under the
    // tests' key and leaving its device's state in the test's folder when it ends; its device
    // on the first ports as number 1.
    void StartDemo()
    {
        Start(DemoProcess::BesideThisProgram(DemoProgram), {{"SYSEXDUMP_DEMO_PACE", "full"},
                                                            {"SYSEXDUMP_DEMO_RECORD", m_folder.Path()},
                                                            {"SYSEXDUMP_DEMO_SETTINGS_KEY", SettingsKey},
                                                            {"SYSEXDUMP_DEMO_DEVICE", "1:1"}});
    }

    void Start(const std::string& program, const DemoProcess::Environment& environment)
    {
        ASSERT_TRUE(m_demo.Start(program, m_folder.Path(), environment)) << program;
        m_ui = std::make_unique<UiDriver>(m_demo.Id());
        m_main = m_ui->WaitForDialogWithControl(IDC_RECEIVE_PROGRAM);
        ASSERT_NE(m_main, nullptr) << "the main window did not appear";
    }

    // The main window's Exit button ends the program.
    void CloseDemo()
    {
        m_ui->Press(m_main, IDCANCEL);
        ASSERT_TRUE(m_demo.WaitForExit(20s)) << "the program did not end";
        EXPECT_EQ(m_demo.ExitCode(), 0u);
    }

    void Type(HWND dialog, std::initializer_list<std::pair<int, std::string>> fields)
    {
        for (const auto& [id, text] : fields)
        {
            ASSERT_TRUE(m_ui->SetText(dialog, id, text)) << "control " << id;
            ASSERT_EQ(m_ui->Text(dialog, id), text);
        }
    }

    // Presses `button` and waits for the dialog that holds `control`.
    HWND Open(HWND dialog, int button, int control)
    {
        m_ui->Press(dialog, button);
        return m_ui->WaitForDialogWithControl(control);
    }

    // Waits for a message box, expects `part` in its text and answers it with `button`.
    void Answer(const std::string& part, int button = IDOK)
    {
        const UiDriver::MessageBoxInfo box = m_ui->WaitForMessageBox();
        ASSERT_NE(box.window, nullptr) << "no message box appeared; expected one with \"" << part << "\"";
        EXPECT_NE(box.text.find(part), std::string::npos) << "message box: \"" << box.text << "\"";
        EXPECT_NE(GetWindow(box.window, GW_OWNER), nullptr) << "a box without owner can fall behind the window";
        m_ui->Press(box.window, button);
        ASSERT_TRUE(m_ui->WaitUntilGone(box.window));
    }

    std::vector<std::string> ReceivedSysEx() const { return TempFolder::ReadLines(m_folder.File("sysex.txt")); }
    Bytes RecordedMemory() const { return TempFolder::ReadBytes(m_folder.File("memory.syx")); }

    TempFolder m_folder;
    DemoProcess m_demo;
    std::unique_ptr<UiDriver> m_ui;
    HWND m_main = nullptr;
    std::string m_key = SettingsKey;
};

// Enter in the number field receives, into a file named in any script; the file then goes
// back into another slot. What cannot be done is said before anything reaches the device:
// a folder that does not exist, a file holding two dumps.
TEST_F(EndToEnd, ReceivedProgramGoesBackIntoAnotherSlotAndNothingElseReachesTheDevice)
{
    const EmulatedDevice factory;
    const std::string file = m_folder.File(u8"\u65e5\u672c17.syx");
    ASSERT_TRUE(TempFolder::WriteBytes(m_folder.File("two.syx"), factory.ProgramMessage(1) + factory.ProgramMessage(2)));
    ASSERT_NO_FATAL_FAILURE(StartDemo());

    ASSERT_NO_FATAL_FAILURE(Type(m_main, {{IDC_RECEIVE_PROGRAM_NUMBER, "17"}, {IDC_RECEIVE_PROGRAM_FILE, m_folder.File("missing\\p.syx")}}));
    m_ui->Key(m_main, IDC_RECEIVE_PROGRAM_NUMBER, VK_RETURN);
    ASSERT_NO_FATAL_FAILURE(Answer("missing\\p.syx"));
    ASSERT_NO_FATAL_FAILURE(Type(m_main, {{IDC_RECEIVE_PROGRAM_FILE, file}}));
    m_ui->Key(m_main, IDC_RECEIVE_PROGRAM_NUMBER, VK_RETURN);
    ASSERT_NO_FATAL_FAILURE(Answer(u8"\u65e5\u672c17.syx"));
    EXPECT_EQ(TempFolder::ReadBytes(file), factory.ProgramMessage(17));

    ASSERT_NO_FATAL_FAILURE(Type(m_main, {{IDC_SEND_PROGRAM_FILE, m_folder.File("two.syx")}}));
    m_ui->Press(m_main, IDC_SEND_PROGRAM);
    ASSERT_NO_FATAL_FAILURE(Answer("2 messages"));
    ASSERT_NO_FATAL_FAILURE(Type(m_main, {{IDC_SEND_PROGRAM_FILE, file}, {IDC_SEND_PROGRAM_SLOT, "5"}}));
    m_ui->Press(m_main, IDC_SEND_PROGRAM);
    ASSERT_TRUE(m_ui->WaitUntil([&] { return m_ui->Text(m_main, IDC_STATUS).find("slot 5") != std::string::npos; }));
    ASSERT_NO_FATAL_FAILURE(CloseDemo());

    EmulatedDevice expected;
    expected.SetProgramData(5, factory.Snapshot().Program(17));
    EXPECT_TRUE(RecordedMemory() == expected.BulkDump()) << "program 5 is not program 17's data";
    // The request, slot 5's backup asked for, then the dump re-addressed to slot 5 (whose data
    // the memory check compared).
    const std::vector<std::string> received = ReceivedSysEx();
    ASSERT_EQ(3u, received.size());
    EXPECT_EQ("F0 00 00 10 00 41 01 00 10 F7", received[0]);
    EXPECT_EQ("F0 00 00 10 00 41 01 00 04 F7", received[1]);
    EXPECT_EQ("F0 00 00 10 00 41 42 00 04 ", received[2].substr(0, 27));
}

// The device number chosen in MIDI Setup is the program change's channel, and it is still
// there at the next start, with the pause and the file names.
TEST_F(EndToEnd, SetupChoicesGoOutAndStayForTheNextRun)
{
    ASSERT_NO_FATAL_FAILURE(StartDemo());
    HWND setup = Open(m_main, IDC_MIDI_SETUP, IDC_DEVICE_NUMBER);
    ASSERT_NE(setup, nullptr);
    ASSERT_NO_FATAL_FAILURE(Type(setup, {{IDC_DEVICE_NUMBER, "16"}, {IDC_PAUSE, "20"}}));
    m_ui->Press(setup, IDOK);
    ASSERT_TRUE(m_ui->WaitUntilGone(setup)) << "the setup dialog refused its fields";
    ASSERT_NO_FATAL_FAILURE(Type(m_main, {{IDC_PROGRAM_CHANGE_NUMBER, "128"}, {IDC_SEND_BULK_FILE, "kept.syx"}}));
    m_ui->Press(m_main, IDC_PROGRAM_CHANGE);
    ASSERT_NO_FATAL_FAILURE(CloseDemo());
    // Status CF (channel 16), data 7F (program 128), as one short message.
    EXPECT_EQ(TempFolder::ReadLines(m_folder.File("short-messages.txt")), std::vector<std::string>{"00007FCF"});

    ASSERT_NO_FATAL_FAILURE(StartDemo());
    EXPECT_EQ(m_ui->Text(m_main, IDC_SEND_BULK_FILE), "kept.syx");
    // The send algorithm spin stops at 64, where its field does. The keys and the button are
    // posted to one queue: once MIDI Setup is open, every key has been handled.
    ASSERT_NO_FATAL_FAILURE(Type(m_main, {{IDC_SEND_ALGORITHM_NUMBER, "60"}}));
    for (int i = 0; i < 10; ++i)
        m_ui->Key(m_main, IDC_SEND_ALGORITHM_NUMBER, VK_UP);
    setup = Open(m_main, IDC_MIDI_SETUP, IDC_DEVICE_NUMBER);
    ASSERT_NE(setup, nullptr);
    EXPECT_EQ(m_ui->Text(m_main, IDC_SEND_ALGORITHM_NUMBER), "64");
    EXPECT_EQ(m_ui->Text(setup, IDC_DEVICE_NUMBER), "16");
    EXPECT_EQ(m_ui->Text(setup, IDC_PAUSE), "20");
    m_ui->Press(setup, IDCANCEL);
    ASSERT_TRUE(m_ui->WaitUntilGone(setup));
    ASSERT_NO_FATAL_FAILURE(CloseDemo());
}

// Out of the box the demo's device is where the README says, on "Demo MIDI 2" as number 5,
// and the first run's settings point there: it answers at once. Its settings and history
// are its own: what the user chose for the product stays as it was.
class DemoOutOfTheBox : public EndToEnd
{
protected:
    DemoOutOfTheBox() { m_key = "Software\\SysEx Dump Demo"; }
};

TEST_F(DemoOutOfTheBox, DeviceSitsOnTheSecondPortsAsNumberFiveApartFromTheProduct)
{
    const CSettings product("Software\\SysEx Dump");
    const auto productChoices = [&] {
        return product.ReadString("OutputPort", "none", MAX_PATH) + "|" + product.ReadString("HistoryFolder", "none", MAX_PATH);
    };
    const std::string productBefore = productChoices();
    ASSERT_NO_FATAL_FAILURE(Start(DemoProcess::BesideThisProgram(DemoProgram),
                                  {{"SYSEXDUMP_DEMO_PACE", "full"}, {"SYSEXDUMP_DEMO_RECORD", m_folder.Path()}}));
    HWND setup = Open(m_main, IDC_MIDI_SETUP, IDC_DEVICE_NUMBER);
    ASSERT_NE(setup, nullptr);
    EXPECT_EQ("Demo MIDI 2|Demo MIDI 2|5", m_ui->Text(setup, IDC_INPUT_PORT) + "|" + m_ui->Text(setup, IDC_OUTPUT_PORT) +
                                               "|" + m_ui->Text(setup, IDC_DEVICE_NUMBER));
    m_ui->Press(setup, IDCANCEL);
    ASSERT_TRUE(m_ui->WaitUntilGone(setup));
    ASSERT_NO_FATAL_FAILURE(Type(m_main, {{IDC_RECEIVE_PROGRAM_NUMBER, "3"}, {IDC_RECEIVE_PROGRAM_FILE, m_folder.File("p3.syx")}}));
    m_ui->Press(m_main, IDC_RECEIVE_PROGRAM);
    ASSERT_NO_FATAL_FAILURE(Answer("p3.syx"));
    ASSERT_NO_FATAL_FAILURE(CloseDemo());
    EXPECT_EQ(std::vector<std::string>{"F0 00 00 10 04 41 01 00 02 F7"}, ReceivedSysEx());

    EXPECT_EQ(productBefore, productChoices());
    const std::filesystem::path history = Widen(CSettings(m_key).ReadString("HistoryFolder", "", MAX_PATH));
    EXPECT_EQ(L"SysEx Dump history (demo)", history.filename().wstring());
    EXPECT_TRUE(std::filesystem::exists(history / L"index.txt")) << "the received program is not in the demo's history";
    std::error_code ignored;
    std::filesystem::remove_all(history, ignored);
}

// The product executable itself, from the folder where the build put it beside the stand-in
// winmm.dll (the emulated driver; ctest gives this test WINEDLLOVERRIDES=winmm=n,b): its own
// winmm binding takes a program and a bulk dump both ways, and the pause between the messages
// of a bulk send runs on the system's timer. A row is the line behaviour of the driver.
struct StandInRow
{
    const char* line;
    // The bulk receive. Not on alsa: at full pace the whole memory arrives at once, where a
    // driver that drops what finds no buffer queued keeps only the first messages (the alsa
    // input at the wire rate is tested in dialogs_tests).
    bool bulkReceive;
};

class ProductOnStandIn : public EndToEnd, public ::testing::WithParamInterface<StandInRow>
{
protected:
    // The product keeps its settings under its own key, in the build's Wine prefix.
    ProductOnStandIn() { m_key = "Software\\SysEx Dump"; }
};

TEST_P(ProductOnStandIn, ProgramAndBulkDumpRoundTrip)
{
    const EmulatedDevice factory;
    EmulatedDevice expected;
    expected.SetProgramData(5, factory.Snapshot().Program(17));
    const Bytes withProgram = expected.BulkDump();
    expected.SetProgramData(3, factory.Snapshot().Program(150));
    expected.SetAlgorithmData(127, factory.Snapshot().Algorithm(2));
    const Bytes restore = expected.BulkDump();
    // The product paces a bulk send by the cable's own clock, whatever the stand-in's pace:
    // the three changed slots, not the whole memory (a minute and a half on the cable).
    const Bytes changes = expected.ProgramMessage(3) + expected.ProgramMessage(5) + expected.AlgorithmMessage(127);
    ASSERT_TRUE(TempFolder::WriteBytes(m_folder.File("restore.syx"), changes));
    ASSERT_NO_FATAL_FAILURE(Start(DemoProcess::BesideThisProgram("..\\standin\\SysExDump.exe"),
                                  {{"SYSEXDUMP_STANDIN_PACE", "full"},
                                   {"SYSEXDUMP_STANDIN_LINE", GetParam().line},
                                   {"SYSEXDUMP_STANDIN_RECORD", m_folder.Path()}}));
    const HWND setup = Open(m_main, IDC_MIDI_SETUP, IDC_PAUSE);
    ASSERT_NE(setup, nullptr) << "no MIDI Setup: was the stand-in winmm.dll loaded?";
    ASSERT_NO_FATAL_FAILURE(Type(setup, {{IDC_PAUSE, "5"}}));
    m_ui->Press(setup, IDOK);
    ASSERT_TRUE(m_ui->WaitUntilGone(setup));

    const std::string program = m_folder.File("p17.syx");
    ASSERT_NO_FATAL_FAILURE(Type(m_main, {{IDC_RECEIVE_PROGRAM_NUMBER, "17"}, {IDC_RECEIVE_PROGRAM_FILE, program}}));
    m_ui->Press(m_main, IDC_RECEIVE_PROGRAM);
    ASSERT_NO_FATAL_FAILURE(Answer("p17.syx"));
    EXPECT_EQ(TempFolder::ReadBytes(program), factory.ProgramMessage(17));
    ASSERT_NO_FATAL_FAILURE(Type(m_main, {{IDC_SEND_PROGRAM_FILE, program}, {IDC_SEND_PROGRAM_SLOT, "5"}}));
    m_ui->Press(m_main, IDC_SEND_PROGRAM);
    // The stand-in leaves its record each time the program closes its last port.
    ASSERT_TRUE(m_ui->WaitUntil([&] { return ReceivedSysEx().size() == 3; })) << "the device got no program";
    EXPECT_TRUE(RecordedMemory() == withProgram) << "program 5 is not program 17's data";

    ASSERT_NO_FATAL_FAILURE(Type(m_main, {{IDC_SEND_BULK_FILE, m_folder.File("restore.syx")}}));
    const HWND send = Open(m_main, IDC_SEND_BULK, IDC_SENT_COUNT);
    ASSERT_NE(send, nullptr);
    EXPECT_NE(m_ui->Text(send, IDC_SEND_SUMMARY).find("3 complete SysEx messages"), std::string::npos)
        << m_ui->Text(send, IDC_SEND_SUMMARY);
    EXPECT_EQ(m_ui->Text(send, IDC_FILE_SIZE), std::to_string(changes.size()));
    const auto sendStart = std::chrono::steady_clock::now();
    m_ui->Press(send, IDOK);
    ASSERT_TRUE(m_ui->WaitUntil([&] { return !IsWindow(send) || !IsWindowVisible(send); }, 60s))
        << "sent " << m_ui->Text(send, IDC_SENT_COUNT) << " of " << changes.size();
    EXPECT_GE(std::chrono::steady_clock::now() - sendStart, changes.size() * 320us + 2 * 5ms)
        << "faster than the cable, or no pause between the messages";
    EXPECT_EQ(m_ui->FindDialog(UiDriver::IsMessageBox), nullptr) << "the bulk send reported a problem";
    if (GetParam().bulkReceive)
    {
        ASSERT_NO_FATAL_FAILURE(Type(m_main, {{IDC_RECEIVE_BULK_FILE, m_folder.File("everything.syx")}}));
        const HWND receive = Open(m_main, IDC_RECEIVE_BULK, IDC_RECEIVED_COUNT);
        ASSERT_NE(receive, nullptr);
        ASSERT_TRUE(m_ui->WaitUntil([&] { return m_ui->Text(receive, IDC_RECEIVED_COUNT) == std::to_string(restore.size()); }, 60s))
            << "count stopped at " << m_ui->Text(receive, IDC_RECEIVED_COUNT) << " of " << restore.size();
        m_ui->Press(receive, IDOK);
        ASSERT_NO_FATAL_FAILURE(Answer("everything.syx"));
        EXPECT_TRUE(TempFolder::ReadBytes(m_folder.File("everything.syx")) == restore);
    }
    ASSERT_NO_FATAL_FAILURE(CloseDemo());
    EXPECT_TRUE(RecordedMemory() == restore) << "the bulk send did not reach the device whole";
}

// The line behaviour of the driver the product runs on.
INSTANTIATE_TEST_SUITE_P(Lines, ProductOnStandIn, ::testing::Values(StandInRow{"cable", true}, StandInRow{"alsa", false}),
                         [](const auto& row) { return std::string(row.param.line); });

TEST_F(EndToEnd, WithoutItsResourceModuleTheProgramSaysSoAndEnds)
{
    const std::string lonely = m_folder.File(DemoProgram);
    ASSERT_TRUE(CopyFileA(DemoProcess::BesideThisProgram(DemoProgram).c_str(), lonely.c_str(), TRUE));
    ASSERT_TRUE(m_demo.Start(lonely, m_folder.Path()));
    m_ui = std::make_unique<UiDriver>(m_demo.Id());
    const UiDriver::MessageBoxInfo box = m_ui->WaitForMessageBox();
    ASSERT_NE(box.window, nullptr) << "no message box appeared";
    EXPECT_EQ(box.text, "Error loading resource DLL!");
    m_ui->Press(box.window, IDOK);
    ASSERT_TRUE(m_demo.WaitForExit(20s)) << "the program did not end";
}
}
