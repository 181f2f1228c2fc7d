#include "dialogs/MidiSetupDialog.h"

#include <shlobj.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "dialogs/FindDeviceDialog.h"
#include "framework/DataExchange.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "framework/Unicode.h"
#include "history/DumpHistory.h"
#include "midi/ChosenPort.h"
#include "midi/MidiApp.h"
#include "midi/MidiPortState.h"
#include "resources/resource.h"

namespace
{
// One entry per port, in port order, so that an entry's position is its port number. A port
// that does not answer its capability query is named by its number rather than left out,
// which would shift every later port onto the wrong number. The chosen port is selected; one
// that is not connected gets an entry of its own after the ports, selected, so that OK keeps
// it rather than take whatever port now has its old number.
void ShowPorts(CComboBox& list, const std::vector<std::string>& names, const std::optional<MidiPortId>& choice)
{
    list.ResetContent();
    for (std::size_t port = 0; port < names.size(); ++port)
        list.AddString(ListedPort(names, port));
    int selected = FindChosenPort(names, choice);
    if (selected < 0)
        selected = list.AddString(LoadResString(IDS_PORT_NOT_CONNECTED_ENTRY, {ShownPort(*choice)}));
    list.SetCurSel(selected);
}

// What the selection stands for: a listed port, or else the choice as it was.
std::optional<MidiPortId> SelectedPort(const CComboBox& list, const std::vector<std::string>& names,
                                       const std::optional<MidiPortId>& choice)
{
    const int selected = list.GetCurSel();
    if (selected >= 0 && selected < static_cast<int>(names.size()))
        return PortIdAt(names, selected);
    return choice;
}

// A direction without ports, or with none that answers, says so and leaves the other
// direction usable; false then.
bool CheckPorts(const std::vector<std::string>& names, UINT noPorts, UINT noneListed)
{
    const UINT problem = names.empty() ? noPorts
                         : std::all_of(names.begin(), names.end(), [](const std::string& name) { return name.empty(); })
                             ? noneListed
                             : 0;
    if (problem != 0)
        AfxMessageBox(problem, MB_ERROR_BOX);
    return problem == 0;
}
}

CMidiSetupDialog::CMidiSetupDialog(CDialog* parent)
    : CDialog(IDD_MIDI_SETUP, parent),
      m_deviceNumber(CurrentMidiChoices().deviceNumber),
      m_inputPort(CurrentMidiChoices().inputPort),
      m_outputPort(CurrentMidiChoices().outputPort),
      m_pauseMs(CurrentMidiChoices().pauseMs),
      m_historyFolder(History().Folder()),
      m_historyLimitMegabytes(History().LimitMegabytes()),
      m_backupBeforeOverwrite(History().BackupBeforeOverwrite())
{
}

void CMidiSetupDialog::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_DEVICE_NUMBER_SPIN, m_spin);
    DDX_Control(dx, IDC_PAUSE_SPIN, m_pauseSpin);
    DDX_Control(dx, IDC_OUTPUT_PORT, m_outputList);
    DDX_Control(dx, IDC_INPUT_PORT, m_inputList);
    DDX_Text(dx, IDC_DEVICE_NUMBER, m_deviceNumber);
    DDV_MinMaxInt(dx, m_deviceNumber, 1, 16);
    DDX_Text(dx, IDC_PAUSE, m_pauseMs);
    DDV_MinMaxInt(dx, m_pauseMs, 0, 1000);
    DDX_Text(dx, IDC_HISTORY_FOLDER, m_historyFolder);
    DDX_Text(dx, IDC_HISTORY_LIMIT, m_historyLimitMegabytes);
    DDV_MinMaxInt(dx, m_historyLimitMegabytes, 1, CDumpHistory::MaxLimitMegabytes);
    DDX_Check(dx, IDC_HISTORY_BACKUP, m_backupBeforeOverwrite);
    if (dx->m_bSaveAndValidate && !dx->Failed())
        TakeSelectedPorts();
}

void CMidiSetupDialog::TakeSelectedPorts()
{
    m_inputPort = SelectedPort(m_inputList, m_inputNames, m_inputPort);
    m_outputPort = SelectedPort(m_outputList, m_outputNames, m_outputPort);
}

BOOL CMidiSetupDialog::PreTranslateMessage(MSG* message)
{
    // The tooltip does not subclass the controls, so it sees the mouse only through here.
    if (m_toolTips.m_hWnd != nullptr && m_hWnd != nullptr &&
        (message->hwnd == m_hWnd || IsChild(m_hWnd, message->hwnd)))
        m_toolTips.RelayEvent(message);
    return CDialog::PreTranslateMessage(message);
}

INT_PTR CMidiSetupDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    // The selected port stays selected by name and occurrence: its number may have changed.
    if (PortListChanged(message, wParam))
    {
        TakeSelectedPorts();
        ShowPorts(m_inputList, m_inputNames = PortNamesNow(PortDirection::Input), m_inputPort);
        ShowPorts(m_outputList, m_outputNames = PortNamesNow(PortDirection::Output), m_outputPort);
    }
    return CDialog::OnMessage(message, wParam, lParam, handled);
}

BOOL CMidiSetupDialog::OnCommand(UINT id, UINT notifyCode)
{
    if (id == IDC_FIND_DEVICE)
        OnFindDevice();
    else if (id == IDC_HISTORY_BROWSE)
        OnBrowseHistoryFolder();
    else
        return CDialog::OnCommand(id, notifyCode);
    return TRUE;
}

void CMidiSetupDialog::OnFindDevice()
{
    CFindDeviceDialog find(this);
    // The find window takes the driver's callbacks for its run, as the bulk dialogs do.
    CMidiDialog* previous = CurrentMidiWindow();
    SetCurrentMidiWindow(&find);
    const INT_PTR result = find.DoModal();
    SetCurrentMidiWindow(previous);
    if (result != IDOK || !find.m_chosen)
        return;
    m_inputPort = find.m_chosen->input;
    m_outputPort = find.m_chosen->output;
    ShowPorts(m_inputList, m_inputNames = PortNamesNow(PortDirection::Input), m_inputPort);
    ShowPorts(m_outputList, m_outputNames = PortNamesNow(PortDirection::Output), m_outputPort);
    SetDlgItemInt(IDC_DEVICE_NUMBER, static_cast<UINT>(find.m_chosen->deviceNumber));
}

void CMidiSetupDialog::OnBrowseHistoryFolder()
{
    const std::wstring title = Widen(LoadResString(IDS_HISTORY_FOLDER_TITLE));
    BROWSEINFOW browse{};
    browse.hwndOwner = m_hWnd;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
    if (chosen == nullptr)
        return;
    wchar_t folder[MAX_PATH] = {};
    if (SHGetPathFromIDListW(chosen, folder))
        SetDlgItemTextW(m_hWnd, IDC_HISTORY_FOLDER, folder);
    CoTaskMemFree(chosen);
}

BOOL CMidiSetupDialog::OnInitDialog()
{
    CDialog::OnInitDialog();

    // One step from the first moment on: holding an arrow never speeds up over 16 values.
    UDACCEL step{0, 1};
    m_spin.SetAccel(1, &step);
    m_spin.SetRange(1, 16);
    m_pauseSpin.SetRange(0, 1000);
    UDACCEL pauseSteps[] = {{0, 10}, {2, 50}};
    m_pauseSpin.SetAccel(2, pauseSteps);

    // Each direction on its own: an output-only interface can still be chosen. A failure
    // leaves the dialog usable, so that the user can still cancel or keep the device number.
    m_inputNames = PortNamesNow(PortDirection::Input);
    const bool inputs = CheckPorts(m_inputNames, IDS_NO_INPUT_PORTS, IDS_NO_INPUT_LISTED);
    ShowPorts(m_inputList, m_inputNames, m_inputPort);
    m_outputNames = PortNamesNow(PortDirection::Output);
    const bool outputs = CheckPorts(m_outputNames, IDS_NO_OUTPUT_PORTS, IDS_NO_OUTPUT_LISTED);
    ShowPorts(m_outputList, m_outputNames, m_outputPort);
    if (!inputs || !outputs)
        return TRUE;

    if (!m_toolTips.Create(this))
        return TRUE;
    m_toolTips.Activate(TRUE);
    const std::pair<int, UINT> tools[] = {
        {IDOK, IDS_TIP_OK},
        {IDCANCEL, IDS_TIP_CANCEL},
        {IDC_DEVICE_NUMBER, IDS_TIP_DEVICE_NUMBER},
        {IDC_DEVICE_NUMBER_SPIN, IDS_TIP_DEVICE_NUMBER_SPIN},
        {IDC_INPUT_PORT, IDS_TIP_INPUT_PORT},
        {IDC_OUTPUT_PORT, IDS_TIP_OUTPUT_PORT},
        {IDC_PAUSE, IDS_TIP_PAUSE},
        {IDC_PAUSE_SPIN, IDS_TIP_PAUSE_SPIN},
        {IDC_FIND_DEVICE, IDS_TIP_FIND_DEVICE},
    };
    for (const auto& [control, text] : tools)
        m_toolTips.AddTool(GetDlgItem(control), text);
    return TRUE;
}
