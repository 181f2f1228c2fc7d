// The demo program under Wine, driven from this process through its windows as a user
// would drive it; what it writes and what reaches its emulated device are compared byte
// for byte with what a fresh emulated device computes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "DemoProcess.h"
#include "TempFolder.h"
#include "UiDriver.h"
#include "emulator/EmulatedDevice.h"
#include "resources/resource.h"

namespace
{
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

const std::string DemoProgram = "SysExDumpDemo.exe";

std::string Hex(const Bytes& bytes)
{
    std::string text;
    char digits[4];
    for (std::size_t i = 0; i < bytes.size(); ++i)
    {
        std::snprintf(digits, sizeof digits, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += digits;
    }
    return text;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Data bytes of a program the device does not ship with: every 7-bit value, more than once.
DeviceMemory::Data MadeUpProgram()
{
    DeviceMemory::Data data(700);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>((i * 37 + 11) % 128);
    return data;
}

class EndToEnd : public ::testing::Test
{
protected:
    // The demo in its build folder, answering at full speed, leaving its device's state in
    // the test's folder when it ends; then its main window.
    void StartDemo()
    {
        ASSERT_TRUE(m_demo.Start(DemoProcess::BesideThisProgram(DemoProgram), m_folder.Path(),
                                 {{"SYSEXDUMP_DEMO_PACE", "full"}, {"SYSEXDUMP_DEMO_RECORD", m_folder.Path()}}));
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

    void Type(HWND dialog, int controlId, const std::string& text)
    {
        ASSERT_TRUE(m_ui->SetText(dialog, controlId, text)) << "control " << controlId;
        ASSERT_EQ(m_ui->Text(dialog, controlId), text);
    }

    // Waits for a message box, expects `part` in its text and answers it with `button`.
    void Answer(const std::string& part, int button = IDOK)
    {
        const UiDriver::MessageBoxInfo box = m_ui->WaitForMessageBox();
        ASSERT_NE(box.window, nullptr) << "no message box appeared; expected one with \"" << part << "\"";
        EXPECT_TRUE(Contains(box.text, part)) << "message box: \"" << box.text << "\"";
        m_ui->Answer(box.window, button);
        ASSERT_TRUE(m_ui->WaitUntilGone(box.window));
    }

    Bytes RecordedMemory() const { return TempFolder::ReadBytes(m_folder.File("memory.syx")); }

    TempFolder m_folder;
    DemoProcess m_demo;
    std::unique_ptr<UiDriver> m_ui;
    HWND m_main = nullptr;
};

TEST_F(EndToEnd, ReceivedProgramIsTheDevicesDumpAndGoesBackIntoAnotherSlot)
{
    const EmulatedDevice factory;
    const std::string file = m_folder.File("program17.syx");
    ASSERT_NO_FATAL_FAILURE(StartDemo());

    ASSERT_NO_FATAL_FAILURE(Type(m_main, IDC_RECEIVE_PROGRAM_NUMBER, "17"));
    ASSERT_NO_FATAL_FAILURE(Type(m_main, IDC_RECEIVE_PROGRAM_FILE, file));
    m_ui->Press(m_main, IDC_RECEIVE_PROGRAM);
    // The note names the file without its folder.
    ASSERT_NO_FATAL_FAILURE(Answer("program17.syx"));
    EXPECT_EQ(TempFolder::ReadBytes(file), factory.ProgramMessage(17));

    ASSERT_NO_FATAL_FAILURE(Type(m_main, IDC_SEND_PROGRAM_FILE, file));
    ASSERT_NO_FATAL_FAILURE(Type(m_main, IDC_SEND_PROGRAM_SLOT, "5"));
    m_ui->Press(m_main, IDC_SEND_PROGRAM);
    ASSERT_NO_FATAL_FAILURE(CloseDemo());

    EmulatedDevice expected;
    expected.SetProgramData(5, factory.Snapshot().Program(17));
    EXPECT_TRUE(RecordedMemory() == expected.BulkDump()) << "program 5 is not program 17's data";

    // The request for program 17, then the dump re-addressed to slot 5 (bytes 7 and 8).
    Bytes sent = factory.ProgramMessage(17);
    sent[7] = 0x00;
    sent[8] = 0x04;
    const std::vector<std::string> received = TempFolder::ReadLines(m_folder.File("sysex.txt"));
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0], "F0 00 00 10 00 41 01 00 10 F7");
    EXPECT_EQ(received[1], Hex(sent));
}

TEST_F(EndToEnd, BulkReceiveStoresEverythingTheDeviceSent)
{
    const Bytes everything = EmulatedDevice().BulkDump();
    const std::string file = m_folder.File("everything.syx");
    ASSERT_NO_FATAL_FAILURE(StartDemo());

    ASSERT_NO_FATAL_FAILURE(Type(m_main, IDC_RECEIVE_BULK_FILE, file));
    m_ui->Press(m_main, IDC_RECEIVE_BULK);
    HWND receive = m_ui->WaitForDialogWithControl(IDC_RECEIVED_COUNT);
    ASSERT_NE(receive, nullptr) << "the bulk receive dialog did not appear";
    const std::string total = std::to_string(everything.size());
    ASSERT_TRUE(m_ui->WaitUntil([&] { return m_ui->Text(receive, IDC_RECEIVED_COUNT) == total; }, 60s))
        << "count stopped at " << m_ui->Text(receive, IDC_RECEIVED_COUNT) << " of " << total;

    m_ui->Press(receive, IDOK);
    ASSERT_NO_FATAL_FAILURE(Answer("everything.syx"));
    ASSERT_TRUE(m_ui->WaitUntilGone(receive));
    ASSERT_NO_FATAL_FAILURE(CloseDemo());

    const Bytes stored = TempFolder::ReadBytes(file);
    ASSERT_EQ(stored.size(), everything.size());
    EXPECT_TRUE(stored == everything);
}

TEST_F(EndToEnd, BulkSendLeavesTheDeviceHoldingTheFile)
{
    EmulatedDevice changed;
    changed.SetProgramData(3, MadeUpProgram());
    changed.SetProgramData(240, changed.Snapshot().Program(1));
    changed.SetAlgorithmData(127, changed.Snapshot().Algorithm(2));
    const Bytes dump = changed.BulkDump();
    ASSERT_NE(dump, EmulatedDevice().BulkDump());
    const std::string file = m_folder.File("changed.syx");
    ASSERT_TRUE(TempFolder::WriteBytes(file, dump));
    ASSERT_NO_FATAL_FAILURE(StartDemo());

    ASSERT_NO_FATAL_FAILURE(Type(m_main, IDC_SEND_BULK_FILE, file));
    m_ui->Press(m_main, IDC_SEND_BULK);
    HWND send = m_ui->WaitForDialogWithControl(IDC_SENT_COUNT);
    ASSERT_NE(send, nullptr) << "the bulk send dialog did not appear";
    EXPECT_EQ(m_ui->Text(send, IDC_FILE_SIZE), std::to_string(dump.size()));
    m_ui->Press(send, IDOK);
    // It closes by itself once the last piece has gone out.
    ASSERT_TRUE(m_ui->WaitUntil([&] { return !IsWindow(send) || !IsWindowVisible(send); }, 60s))
        << "sent " << m_ui->Text(send, IDC_SENT_COUNT) << " of " << dump.size();
    EXPECT_EQ(m_ui->FindDialog(UiDriver::IsMessageBox), nullptr) << "the transfer reported a problem";
    ASSERT_NO_FATAL_FAILURE(CloseDemo());

    EXPECT_TRUE(RecordedMemory() == dump) << "the device does not hold the file sent";
}

TEST_F(EndToEnd, ProgramChangeGoesOutOnTheDeviceNumberChosenInSetup)
{
    ASSERT_NO_FATAL_FAILURE(StartDemo());

    m_ui->Press(m_main, IDC_MIDI_SETUP);
    HWND setup = m_ui->WaitForDialogWithControl(IDC_DEVICE_NUMBER);
    ASSERT_NE(setup, nullptr) << "the setup dialog did not appear";
    EXPECT_EQ(m_ui->Text(setup, IDC_DEVICE_NUMBER), "1");
    ASSERT_NO_FATAL_FAILURE(Type(setup, IDC_DEVICE_NUMBER, "16"));
    m_ui->Press(setup, IDOK);
    ASSERT_TRUE(m_ui->WaitUntilGone(setup)) << "the setup dialog refused device number 16";

    ASSERT_NO_FATAL_FAILURE(Type(m_main, IDC_PROGRAM_CHANGE_NUMBER, "128"));
    m_ui->Press(m_main, IDC_PROGRAM_CHANGE);
    ASSERT_NO_FATAL_FAILURE(CloseDemo());

    // Status CF (channel 16), data 7F (program 128), as one short message.
    EXPECT_EQ(TempFolder::ReadLines(m_folder.File("short-messages.txt")), std::vector<std::string>{"00007FCF"});
}

TEST_F(EndToEnd, AboutBoxOpensFromTheSystemMenu)
{
    ASSERT_NO_FATAL_FAILURE(StartDemo());

    m_ui->SystemCommand(m_main, IDM_ABOUTBOX);
    HWND about = m_ui->WaitForDialogWithControl(IDC_OS_VERSION);
    ASSERT_NE(about, nullptr) << "the about box did not appear";
    EXPECT_NE(m_ui->Text(about, IDC_OS_VERSION), "");
    EXPECT_NE(m_ui->Text(about, IDC_FREE_DISK), "");
    m_ui->Press(about, IDOK);
    ASSERT_TRUE(m_ui->WaitUntilGone(about));
    ASSERT_NO_FATAL_FAILURE(CloseDemo());
}

TEST_F(EndToEnd, WithoutItsResourceModuleTheProgramSaysSoAndEnds)
{
    const std::string lonely = m_folder.File(DemoProgram);
    ASSERT_TRUE(CopyFileA(DemoProcess::BesideThisProgram(DemoProgram).c_str(), lonely.c_str(), TRUE));
    ASSERT_TRUE(m_demo.Start(lonely, m_folder.Path()));
    m_ui = std::make_unique<UiDriver>(m_demo.Id());

    const UiDriver::MessageBoxInfo box = m_ui->WaitForMessageBox();
    ASSERT_NE(box.window, nullptr) << "no message box appeared";
    EXPECT_EQ(box.text, "Error loading resource DLL!");
    EXPECT_EQ(m_ui->FindDialog([](HWND window) { return UiDriver::HasControl(window, IDC_RECEIVE_PROGRAM); }),
              nullptr);
    m_ui->Answer(box.window, IDOK);
    ASSERT_TRUE(m_demo.WaitForExit(20s)) << "the program did not end";
}
}
