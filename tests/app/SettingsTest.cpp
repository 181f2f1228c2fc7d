// What the program keeps between runs, under a key of the test's own.
#include <tuple>

#include "app/DumpSettings.h"
#include "dialogs/BulkSendDialog.h"
#include "dialogs/MainDialog.h"
#include "framework/Strings.h"
#include "history/DumpHistory.h"
#include "midi/MidiPortState.h"
#include "resources/resource.h"
#include "support/MidiTest.h"
#include "support/ModalHook.h"

namespace
{
using Ports = std::vector<EmulatedMidiDriver::PortInfo>;
const Ports InsAB{{"In A"}, {"In B"}}, OutsABC{{"Out A"}, {"Out B"}, {"Out C"}};

// A chosen port as name and, from the second of a name on, "#" and which it is; "-" for none.
std::string Named(const std::optional<MidiPortId>& port)
{
    return !port ? "-" : port->name + (port->occurrence > 0 ? '#' + std::to_string(port->occurrence + 1) : "");
}
}

class SettingsTest : public MidiTest
{
protected:
    void SetUp() override { MidiTest::SetUp(); m_settings.DeleteAll(); }
    void TearDown() override { m_settings.DeleteAll(); MidiTest::TearDown(); }

    // A start of the program with these ports: the kept values as one text, then every box.
    std::string Start(const Ports& inputs = InsAB, const Ports& outputs = OutsABC)
    {
        m_driver->SetInputPorts(inputs);
        m_driver->SetOutputPorts(outputs);
        MidiPortState& state = PortState();
        std::tie(state.inputPort, state.outputPort, state.pauseMs, state.deviceNumber) =
            std::tuple(std::nullopt, std::nullopt, 0, 1);
        m_ui->boxes.clear();
        m_run = std::make_unique<CDumpSettings>(m_key);
        CMainDialog window;
        m_run->Load(window);
        std::string kept = "in " + Named(state.inputPort) + ", out " + Named(state.outputPort) +
                           ", device " + std::to_string(state.deviceNumber) + ", pause " +
                           std::to_string(state.pauseMs) + ", " + window.m_receiveProgramFile + ", " +
                           window.m_sendBulkFile;
        for (const Box& box : m_ui->boxes)
            kept += " | " + box.text;
        return kept;
    }

    const std::string m_key = "Software\\SysEx Dump Tests\\Settings";
    const CSettings m_settings{m_key};
    std::unique_ptr<CDumpSettings> m_run;
};

// Damaged values and numbers out of range keep the defaults; a name of 256 characters is
// kept. Everything is kept when the window closes, the file names as the fields show them and
// Compare after sending as checked, used or not, the bank window's size and columns, and
// whether a bulk send backs the device up first.
TEST_F(SettingsTest, KeptWhenTheWindowCloses)
{
    m_settings.WriteInt("DeviceNumber", 0);
    m_settings.WriteInt("PauseMs", -1);
    m_settings.WriteString("ReceiveProgramFile", std::string(256, 'x'));
    m_settings.WriteInt("HistoryLimitMB", 0);
    m_settings.WriteInt("BackupBeforeOverwrite", 2);
    EXPECT_EQ("in In A, out Out A, device 1, pause 0, " + std::string(256, 'x') + ", BulkDump.syx", Start());
    const auto historySettings = [] {
        return History().Folder() + " " + std::to_string(History().LimitMegabytes()) + " " +
               std::to_string(History().BackupBeforeOverwrite()) + std::to_string(BackUpBeforeBulkSend());
    };
    EXPECT_EQ(CDumpHistory::DefaultFolder() + " " + std::to_string(CDumpHistory::DefaultLimitMegabytes) + " 11", historySettings())
        << "sends back the device up unless told otherwise";
    m_settings.WriteString("DeviceNumber", "5");
    m_settings.WriteInt("PauseMs", 1001);
    m_settings.WriteInt("InputPort", 1);
    m_settings.WriteString("ReceiveProgramFile", std::string(257, 'x'));
    m_settings.WriteInt("SendBulkFile", 7);
    EXPECT_EQ("in In A, out Out A, device 1, pause 0, ProgramDump.syx, BulkDump.syx", Start());
    CMainDialog window;
    m_run->Keep(window);
    MidiPortState& state = PortState();
    std::tie(state.deviceNumber, state.inputPort, state.outputPort, state.pauseMs) =
        std::make_tuple(16, MidiPortId{"In B"}, MidiPortId{"Out C"}, 150);
    window.m_bankLayout = {900, 600, {1, 2, 3, 4, 5}};
    History().SetFolder("C:\\h");
    History().SetLimitMegabytes(7);
    History().SetBackupBeforeOverwrite(false);
    BackUpBeforeBulkSend() = false;
    ModalHook hook([](CDialog& running) {
        running.SetDlgItemText(IDC_RECEIVE_PROGRAM_FILE, u8"C:\\dumps\\\u65e5\u672c.syx");
        running.SetDlgItemText(IDC_SEND_BULK_FILE, "");
        CheckDlgButton(running.GetSafeHwnd(), IDC_COMPARE_AFTER_SEND, BST_CHECKED);
        running.EndDialog(IDCANCEL);
    });
    window.DoModal();
    EXPECT_EQ(u8"in In B, out Out C, device 16, pause 150, C:\\dumps\\\u65e5\u672c.syx, ", Start());
    EXPECT_EQ("C:\\h 7 00", historySettings());
    CMainDialog next;
    m_run->Load(next);
    EXPECT_TRUE(next.m_compareAfterSend && next.m_bankLayout.height == 600 && next.m_bankLayout.columns[4] == 5);
}

// Ports are found by name, and of two identical interfaces the second one comes back as the
// second. One that is gone is said once, another port stands in for it (one of the same name first), and the stand-in
// is not kept over it.
TEST_F(SettingsTest, PortsByNameAndOccurrenceAndStandInsNotKept)
{
    const Ports twins{{"USB"}, {"USB"}}, outputs{{"USB"}, {"Out"}, {"USB"}};
    Start(twins, outputs);
    PortState().inputPort = PortState().outputPort = MidiPortId{"USB", 1};
    m_run->SaveMidi();
    const std::string kept = "in USB#2, out USB#2, device 1, pause 0, ProgramDump.syx, BulkDump.syx";
    EXPECT_EQ(kept, Start(twins, outputs));

    const std::string second = LoadResString(IDS_PORT_NAME_OCCURRENCE, {"USB", "2"});
    const std::string inputGone = " | " + LoadResString(IDS_INPUT_PORT_MISSING, {second}) + ' ' +
                                  LoadResString(IDS_PORT_USED_INSTEAD, {LoadResString(IDS_PORT_NAME, {"USB"})}) +
                                  "\n\n" + LoadResString(IDS_OUTPUT_PORT_MISSING, {second});
    EXPECT_EQ("in USB, out Out, device 1, pause 0, ProgramDump.syx, BulkDump.syx" + inputGone + ' ' +
                  LoadResString(IDS_PORT_USED_INSTEAD, {LoadResString(IDS_PORT_NAME, {"Out"})}),
              Start({{"Other"}, {"USB"}}, {{"Out"}}));
    m_run->SaveMidi();
    EXPECT_EQ("in USB, out USB#2, device 1, pause 0, ProgramDump.syx, BulkDump.syx" + inputGone,
              Start({{"Other"}, {"USB"}}, {}));
    EXPECT_EQ(kept, Start(twins, outputs)) << "a stand-in was written over the kept port";
}

// Out B of A, B and C is chosen, then the ports change under the running window: the status
// line says at once when it is gone (until it is back), a send goes to it wherever it now stands
// or is refused by its name with nothing sent elsewhere, and it stays the kept choice.
TEST_F(SettingsTest, ChosenPortFollowedAtEachSendAndKeptWhenGone)
{
    const std::string outB = LoadResString(IDS_PORT_NAME, {"Out B"});
    const struct { Ports now; std::vector<std::string> sentTo; std::string status; std::vector<Box> shown; } rows[] = {
        {{{"Out B"}, {"Out C"}}, {"Out B"}, "", {}},
        {{{"New"}, {"Out A"}, {"Out B"}, {"Out C"}}, {"Out B"}, "", {}},
        {{{"Out A"}, {"Out C"}}, {}, LoadResString(IDS_STATUS_OUTPUT_NOT_CONNECTED, {outB}),
         {Error(IDS_OUTPUT_PORT_NOT_CONNECTED, {outB})}}};
    for (const auto& row : rows)
    {
        Fresh();
        m_settings.WriteString("OutputPort", "Out B");
        Start();
        CMainDialog window;
        m_run->Keep(window);
        ModalHook hook([&](CDialog& running) {
            const auto plug = [&](const Ports& ports) {
                m_driver->SetOutputPorts(ports);
                SendMessageW(running.GetSafeHwnd(), WM_DEVICECHANGE, 0x0007 /* DBT_DEVNODES_CHANGED */, 0);
                return running.GetDlgItemText(IDC_STATUS);
            };
            EXPECT_EQ(row.status, plug(row.now));
            window.OnProgramChange();
            EXPECT_EQ(row.status.empty() ? LoadResString(IDS_STATUS_SENT_PROGRAM_CHANGE, {"1", "1"}) : "",
                      plug(OutsABC)) << "the notice outlived the port's return";
            running.EndDialog(IDCANCEL);
        });
        window.DoModal();
        EXPECT_EQ(row.sentTo, m_driver->OpenedOutputPorts());
        EXPECT_EQ(row.shown, m_ui->boxes);
        EXPECT_EQ("in In A, out Out B, device 1, pause 0, ProgramDump.syx, BulkDump.syx", Start());
    }
}
