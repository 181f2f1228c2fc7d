#include "app/DumpSettings.h"

#include <algorithm>
#include <string>
#include <vector>

#include "dialogs/BulkSendDialog.h"
#include "dialogs/MainDialog.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "history/DumpHistory.h"
#include "midi/ChosenPort.h"
#include "midi/MidiPortName.h"
#include "midi/MidiPortState.h"
#include "resources/resource.h"

namespace
{
constexpr std::size_t MaxFileName = 256;
struct Direction
{
    const char* nameValue;
    const char* occurrenceValue;
    PortDirection direction;
    UINT missing;
};
const Direction Directions[] = {
    {"InputPort", "InputPortOccurrence", PortDirection::Input, IDS_INPUT_PORT_MISSING},
    {"OutputPort", "OutputPortOccurrence", PortDirection::Output, IDS_OUTPUT_PORT_MISSING},
};

struct FileField
{
    const char* value;
    std::string CMainDialog::*member;
    int control;
};
const FileField FileFields[] = {
    {"ReceiveProgramFile", &CMainDialog::m_receiveProgramFile, IDC_RECEIVE_PROGRAM_FILE},
    {"ReceiveAlgorithmFile", &CMainDialog::m_receiveAlgorithmFile, IDC_RECEIVE_ALGORITHM_FILE},
    {"ReceiveBulkFile", &CMainDialog::m_receiveBulkFile, IDC_RECEIVE_BULK_FILE},
    {"SendProgramFile", &CMainDialog::m_sendProgramFile, IDC_SEND_PROGRAM_FILE},
    {"SendAlgorithmFile", &CMainDialog::m_sendAlgorithmFile, IDC_SEND_ALGORITHM_FILE},
    {"SendBulkFile", &CMainDialog::m_sendBulkFile, IDC_SEND_BULK_FILE},
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

CDumpSettings::CDumpSettings(const std::string& subKey) : m_settings(subKey)
{
}

void CDumpSettings::Keep(CMainDialog& window)
{
    Load(window);
    window.m_onMidiSetupChanged = [this] { SaveMidi(); };
    // A name typed but not used yet is kept too.
    window.m_onDestroy = [this, &window] {
        for (const FileField& field : FileFields)
            window.*field.member = window.GetDlgItemText(field.control);
        window.m_compareAfterSend = IsDlgButtonChecked(window.GetSafeHwnd(), IDC_COMPARE_AFTER_SEND) == BST_CHECKED;
        Save(window);
    };
}

void CDumpSettings::Load(CMainDialog& window)
{
    std::string missing;
    for (std::size_t i = 0; i < std::size(Directions); ++i)
    {
        const Direction& direction = Directions[i];
        std::optional<MidiPortId> kept;
        if (std::string name = m_settings.ReadString(direction.nameValue, "", MAXPNAMELEN); !name.empty())
            kept = MidiPortId{name, m_settings.ReadInt(direction.occurrenceValue, 0, 0, 255)};
        const std::vector<std::string> names = PortNamesNow(direction.direction);
        int port = FindChosenPort(names, kept);
        if (port < 0)
        {
            // Another unit of the same name is likelier to be meant than the first port.
            port = std::max(FindPort(names, kept->name, 0), 0);
            std::string text = LoadResString(direction.missing, {ShownPort(*kept)});
            if (port < static_cast<int>(names.size()))
            {
                m_standIns[i] = PortIdAt(names, port);
                text += ' ' + LoadResString(IDS_PORT_USED_INSTEAD, {ShownPort(*m_standIns[i])});
            }
            missing += (missing.empty() ? "" : "\n\n") + text;
        }
        // With no port at all the kept one stays chosen, to be found when it is plugged in.
        ChosenPort(direction.direction) = port < static_cast<int>(names.size()) ? PortIdAt(names, port) : kept;
    }
    MidiChoices choices = CurrentMidiChoices();  // with the ports just found
    choices.deviceNumber = m_settings.ReadInt("DeviceNumber", choices.deviceNumber, 1, 16);
    choices.pauseMs = m_settings.ReadInt("PauseMs", choices.pauseMs, 0, 1000);
    ApplyMidiChoices(choices);
    History().SetFolder(m_settings.ReadString("HistoryFolder", CDumpHistory::DefaultFolder(), MAX_PATH));
    History().SetLimitMegabytes(m_settings.ReadInt("HistoryLimitMB", CDumpHistory::DefaultLimitMegabytes, 1,
                                                   CDumpHistory::MaxLimitMegabytes));
    History().SetBackupBeforeOverwrite(m_settings.ReadInt("BackupBeforeOverwrite", 1, 0, 1) != 0);
    for (const FileField& field : FileFields)
        window.*field.member = m_settings.ReadString(field.value, window.*field.member, MaxFileName);
    LoadBankSettings(m_settings, window);
    BackUpBeforeBulkSend() = m_settings.ReadInt("BackUpBeforeBulkSend", 1, 0, 1) != 0;
    if (!missing.empty())
        AfxMessageBox(missing, MB_ERROR_BOX);
}

void CDumpSettings::SaveMidi()
{
    const MidiChoices choices = CurrentMidiChoices();
    for (std::size_t i = 0; i < std::size(Directions); ++i)
    {
        const Direction& direction = Directions[i];
        const std::optional<MidiPortId>& chosen = ChosenPort(direction.direction);
        // A port whose driver does not tell its name cannot be found by it at the next start.
        if (!chosen || chosen->name.empty() || chosen == m_standIns[i])
            continue;
        m_standIns[i].reset();
        m_settings.WriteString(direction.nameValue, chosen->name);
        m_settings.WriteInt(direction.occurrenceValue, chosen->occurrence);
    }
    m_settings.WriteInt("DeviceNumber", choices.deviceNumber);
    m_settings.WriteInt("PauseMs", choices.pauseMs);
    m_settings.WriteString("HistoryFolder", History().Folder());
    m_settings.WriteInt("HistoryLimitMB", History().LimitMegabytes());
    m_settings.WriteInt("BackupBeforeOverwrite", History().BackupBeforeOverwrite() ? 1 : 0);
}

void CDumpSettings::Save(const CMainDialog& window)
{
    SaveMidi();
    for (const FileField& field : FileFields)
        m_settings.WriteString(field.value, window.*field.member);
    SaveBankSettings(m_settings, window);
    m_settings.WriteInt("BackUpBeforeBulkSend", BackUpBeforeBulkSend() ? 1 : 0);
}
