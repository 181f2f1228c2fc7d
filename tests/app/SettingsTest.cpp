// What the program keeps between runs, under a key of the test's own.
#include "app/DumpSettings.h"
#include "dialogs/MainDialog.h"
#include "midi/MidiPortState.h"
#include "support/MidiTest.h"

namespace
{
// The kept values as a text, so that one comparison shows every difference.
std::string Kept(const CMainDialog& window)
{
    const MidiPortState& state = PortState();
    return "in " + std::to_string(state.inputPort) + ", out " + std::to_string(state.outputPort) + ", device " +
           std::to_string(state.deviceNumber) + ", pause " + std::to_string(state.pauseMs) + ", " +
           window.m_receiveProgramFile + ", " + window.m_sendBulkFile;
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
        CMainDialog window;
        LoadSettings(m_settings, window);
        return Kept(window);
    }

    const CSettings m_settings{"Software\\SysEx Dump Tests\\Settings"};
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
    SaveSettings(m_settings, window);
    EXPECT_EQ(u8"in 1, out 2, device 16, pause 150, C:\\dumps\\\u65e5\u672c.syx, ", Start());

    // The ports moved: found by name; a port that is gone is the first one again.
    m_driver->SetInputPorts({{"In B"}, {"In A"}});
    m_driver->SetOutputPorts({{"Out A"}, {"Out B"}});
    EXPECT_EQ(u8"in 0, out 0, device 16, pause 150, C:\\dumps\\\u65e5\u672c.syx, ", Start());

    // MIDI Setup keeps only its own choices.
    state.deviceNumber = 3;
    SaveMidiSettings(m_settings);
    EXPECT_EQ(u8"in 0, out 0, device 3, pause 150, C:\\dumps\\\u65e5\u672c.syx, ", Start());
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

TEST_F(SettingsTest, BankWindowAndComparisonKept)
{
    CMainDialog window;
    window.m_compareAfterSend = TRUE;
    window.m_bankLayout = {900, 600, {1, 2, 3, 4, 5}};
    SaveSettings(m_settings, window);
    CMainDialog next;
    LoadSettings(m_settings, next);
    EXPECT_TRUE(next.m_compareAfterSend);
    EXPECT_EQ(600, next.m_bankLayout.height);
    EXPECT_EQ(5, next.m_bankLayout.columns[4]);
}
