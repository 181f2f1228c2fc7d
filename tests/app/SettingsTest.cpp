// What the program keeps between runs, under a key of the test's own.
#include "app/DumpSettings.h"
#include "dialogs/MainDialog.h"
#include "framework/Strings.h"
#include "midi/MidiPortState.h"
#include "resources/resource.h"
#include "support/MidiTest.h"
#include "support/ModalHook.h"

namespace
{
constexpr char Key[] = "Software\\SysEx Dump Tests\\Settings";

// The kept values as a text, so that one comparison shows every difference; then any box.
std::string Kept(const CMainDialog& window, const std::vector<Box>& boxes)
{
    const MidiPortState& state = PortState();
    std::string kept = "in " + std::to_string(state.inputPort) + ", out " + std::to_string(state.outputPort) +
                       ", device " + std::to_string(state.deviceNumber) + ", pause " + std::to_string(state.pauseMs) +
                       ", " + window.m_receiveProgramFile + ", " + window.m_sendBulkFile;
    for (const Box& box : boxes)
        kept += " | " + box.text;
    return kept;
}

std::string Missing(UINT id, const std::string& kept, const std::string& instead = "")
{
    return LoadResString(id, {kept}) + (instead.empty() ? "" : ' ' + LoadResString(IDS_PORT_USED_INSTEAD, {instead}));
}
}

class SettingsTest : public MidiTest
{
protected:
    void SetUp() override
    {
        MidiTest::SetUp();
        m_settings.DeleteAll();
        m_driver->SetInputPorts({{"In A"}, {"In B"}});
        m_driver->SetOutputPorts({{"Out A"}, {"Out B"}, {"Out C"}});
    }
    void TearDown() override
    {
        m_settings.DeleteAll();
        MidiTest::TearDown();
    }

    // A start of the program: the port state's defaults and a new window, then the settings.
    std::string Start()
    {
        MidiPortState& state = PortState();
        state.inputPort = state.outputPort = state.pauseMs = 0;
        state.deviceNumber = 1;
        m_ui->boxes.clear();
        m_run = std::make_unique<CDumpSettings>(Key);
        CMainDialog window;
        m_run->Load(window);
        return Kept(window, m_ui->boxes);
    }

    const CSettings m_settings{Key};
    std::unique_ptr<CDumpSettings> m_run;
};

TEST_F(SettingsTest, KeptBetweenRunsWithPortsFoundByName)
{
    EXPECT_EQ("in 0, out 0, device 1, pause 0, ProgramDump.syx, BulkDump.syx", Start()) << "a first start";

    CMainDialog window;
    MidiPortState& state = PortState();
    state.inputPort = 1;
    state.outputPort = 2;
    state.deviceNumber = 16;
    state.pauseMs = 150;
    window.m_receiveProgramFile = u8"C:\\dumps\\\u65e5\u672c.syx";
    window.m_sendBulkFile = "";
    m_run->Save(window);
    EXPECT_EQ(u8"in 1, out 2, device 16, pause 150, C:\\dumps\\\u65e5\u672c.syx, ", Start());

    // The ports moved: found by name.
    m_driver->SetInputPorts({{"In B"}, {"In A"}});
    EXPECT_EQ(u8"in 0, out 2, device 16, pause 150, C:\\dumps\\\u65e5\u672c.syx, ", Start());

    // MIDI Setup keeps only its own choices.
    state.deviceNumber = 3;
    m_run->SaveMidi();
    EXPECT_EQ(u8"in 0, out 2, device 3, pause 150, C:\\dumps\\\u65e5\u672c.syx, ", Start());
}

// Two identical interfaces: the second one comes back as the second. One that is gone is
// said once, another port stands in for it, and the stand-in is not kept over it.
TEST_F(SettingsTest, PortsOfOneNameByOccurrenceAndStandInsNotKept)
{
    m_driver->SetInputPorts({{"USB"}, {"USB"}});
    m_driver->SetOutputPorts({{"USB"}, {"Out"}, {"USB"}});
    Start();
    PortState().inputPort = 1;
    PortState().outputPort = 2;
    m_run->SaveMidi();
    const std::string kept = "in 1, out 2, device 1, pause 0, ProgramDump.syx, BulkDump.syx";
    EXPECT_EQ(kept, Start());

    m_driver->SetInputPorts({{"Other"}, {"USB"}});
    m_driver->SetOutputPorts({{"Out"}});
    const std::string second = LoadResString(IDS_PORT_NAME_OCCURRENCE, {"USB", "2"});
    EXPECT_EQ("in 1, out 0, device 1, pause 0, ProgramDump.syx, BulkDump.syx | " +
                  Missing(IDS_INPUT_PORT_MISSING, second, LoadResString(IDS_PORT_NAME, {"USB"})) + "\n\n" +
                  Missing(IDS_OUTPUT_PORT_MISSING, second, LoadResString(IDS_PORT_NAME, {"Out"})),
              Start());
    m_run->SaveMidi();
    m_driver->SetOutputPorts({});
    EXPECT_EQ("in 1, out 0, device 1, pause 0, ProgramDump.syx, BulkDump.syx | " +
                  Missing(IDS_INPUT_PORT_MISSING, second, LoadResString(IDS_PORT_NAME, {"USB"})) + "\n\n" +
                  Missing(IDS_OUTPUT_PORT_MISSING, second),
              Start());

    m_driver->SetInputPorts({{"USB"}, {"USB"}});
    m_driver->SetOutputPorts({{"USB"}, {"Out"}, {"USB"}});
    EXPECT_EQ(kept, Start()) << "a stand-in was written over the kept port";
}

// A name typed but never used is kept as the field shows it when the window closes.
TEST_F(SettingsTest, FileNamesAsTheFieldsShowThemAtClose)
{
    Start();
    CMainDialog window;
    m_run->Keep(window);
    ModalHook hook([](CDialog& running) {
        running.SetDlgItemText(IDC_RECEIVE_PROGRAM_FILE, u8"typed \u65e5.syx");
        running.EndDialog(IDCANCEL);
    });
    window.DoModal();
    EXPECT_EQ(u8"in 0, out 0, device 1, pause 0, typed \u65e5.syx, BulkDump.syx", Start());
}

TEST_F(SettingsTest, DamagedValuesAreIgnored)
{
    m_settings.WriteString("DeviceNumber", "5");
    m_settings.WriteInt("PauseMs", 1001);
    m_settings.WriteInt("InputPort", 1);
    m_settings.WriteString("ReceiveProgramFile", std::string(257, 'x'));
    m_settings.WriteInt("SendBulkFile", 7);
    EXPECT_EQ("in 0, out 0, device 1, pause 0, ProgramDump.syx, BulkDump.syx", Start());
    m_settings.WriteInt("DeviceNumber", 0);
    m_settings.WriteInt("PauseMs", -1);
    m_settings.WriteString("ReceiveProgramFile", std::string(256, 'x'));
    EXPECT_EQ("in 0, out 0, device 1, pause 0, " + std::string(256, 'x') + ", BulkDump.syx", Start());
}
