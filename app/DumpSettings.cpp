#include "app/DumpSettings.h"

#include <string>
#include <utility>

#include "dialogs/MainDialog.h"
#include "midi/MidiDriver.h"
#include "midi/MidiPortName.h"
#include "midi/MidiPortState.h"

namespace
{
constexpr std::size_t MaxFileName = 256;

// The port of that name now; the first port when it is gone.
template <typename Caps>
int FindPort(const std::string& name, UINT count, MMRESULT (MidiDriver::*query)(UINT_PTR, Caps*, UINT))
{
    for (UINT port = 0; port < count && !name.empty(); ++port)
        if (MidiPortName(port, query) == name)
            return static_cast<int>(port);
    return 0;
}

std::pair<const char*, std::string CMainDialog::*> const FileFields[] = {
    {"ReceiveProgramFile", &CMainDialog::m_receiveProgramFile},
    {"ReceiveAlgorithmFile", &CMainDialog::m_receiveAlgorithmFile},
    {"ReceiveBulkFile", &CMainDialog::m_receiveBulkFile},
    {"SendProgramFile", &CMainDialog::m_sendProgramFile},
    {"SendAlgorithmFile", &CMainDialog::m_sendAlgorithmFile},
    {"SendBulkFile", &CMainDialog::m_sendBulkFile},
};
}

// The bank window's size and columns (pixels; 0 keeps the template's), and the comparison
// after a program is sent.
static void LoadBankSettings(const CSettings& settings, CMainDialog& window)
{
    window.m_compareAfterSend = settings.ReadInt("CompareAfterSend", 0, 0, 1);
    BankWindowLayout& layout = window.m_bankLayout;
    layout.width = settings.ReadInt("BankWidth", 0, 0, 32767);
    layout.height = settings.ReadInt("BankHeight", 0, 0, 32767);
    for (int column = 0; column < BankWindowLayout::ColumnCount; ++column)
        layout.columns[column] = settings.ReadInt(("BankColumn" + std::to_string(column + 1)).c_str(), 0, 0, 32767);
}

static void SaveBankSettings(const CSettings& settings, const CMainDialog& window)
{
    settings.WriteInt("CompareAfterSend", window.m_compareAfterSend ? 1 : 0);
    const BankWindowLayout& layout = window.m_bankLayout;
    settings.WriteInt("BankWidth", layout.width);
    settings.WriteInt("BankHeight", layout.height);
    for (int column = 0; column < BankWindowLayout::ColumnCount; ++column)
        settings.WriteInt(("BankColumn" + std::to_string(column + 1)).c_str(), layout.columns[column]);
}

void LoadSettings(const CSettings& settings, CMainDialog& window)
{
    MidiPortState& state = PortState();
    MidiDriver& driver = Midi();
    state.inputPort = FindPort(settings.ReadString("InputPort", "", MAXPNAMELEN), driver.midiInGetNumDevs(),
                               &MidiDriver::midiInGetDevCapsA);
    state.outputPort = FindPort(settings.ReadString("OutputPort", "", MAXPNAMELEN), driver.midiOutGetNumDevs(),
                                &MidiDriver::midiOutGetDevCapsA);
    state.deviceNumber = settings.ReadInt("DeviceNumber", state.deviceNumber, 1, 16);
    state.pauseMs = settings.ReadInt("PauseMs", state.pauseMs, 0, 1000);
    for (const auto& [name, member] : FileFields)
        window.*member = settings.ReadString(name, window.*member, MaxFileName);
    LoadBankSettings(settings, window);
}

void SaveMidiSettings(const CSettings& settings)
{
    const MidiPortState& state = PortState();
    const std::string input =
        MidiPortName(static_cast<UINT>(state.inputPort), &MidiDriver::midiInGetDevCapsA).value_or("");
    const std::string output =
        MidiPortName(static_cast<UINT>(state.outputPort), &MidiDriver::midiOutGetDevCapsA).value_or("");
    if (!input.empty())
        settings.WriteString("InputPort", input);
    if (!output.empty())
        settings.WriteString("OutputPort", output);
    settings.WriteInt("DeviceNumber", state.deviceNumber);
    settings.WriteInt("PauseMs", state.pauseMs);
}

void SaveSettings(const CSettings& settings, const CMainDialog& window)
{
    SaveMidiSettings(settings);
    for (const auto& [name, member] : FileFields)
        settings.WriteString(name, window.*member);
    SaveBankSettings(settings, window);
}
