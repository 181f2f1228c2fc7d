#include "dialogs/MidiSetupDialog.h"

#include <dbt.h>

#include <string>
#include <utility>
#include <vector>

#include "framework/DataExchange.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "midi/MidiDriver.h"
#include "midi/MidiPortName.h"
#include "midi/MidiPortState.h"
#include "resources/resource.h"

namespace
{
// Appends one entry per port, in port order, so that an entry's position is its port
// number. A port that does not answer its capability query is named by its number rather
// than left out, which would shift every later port onto the wrong number. Returns how
// many ports answered.
template <typename Caps>
int ListPorts(CComboBox& list, UINT portCount, MMRESULT (MidiDriver::*query)(UINT_PTR, Caps*, UINT))
{
    int answered = 0;
    for (UINT port = 0; port < portCount; ++port)
    {
        if (const std::optional<std::string> name = MidiPortName(port, query))
        {
            list.AddString(*name);
            ++answered;
        }
        else
        {
            list.AddString(FormatResString(IDS_UNLISTED_PORT_FORMAT, port));
        }
    }
    return answered;
}

// Lists the ports again after a device came or went, keeping the selected port selected
// when it is still there (by name and occurrence, its number may have changed).
template <typename Caps>
void RelistPorts(CComboBox& list, UINT portCount, MMRESULT (MidiDriver::*query)(UINT_PTR, Caps*, UINT))
{
    const std::vector<std::string> before = list.Entries();
    const int selected = list.GetCurSel();
    list.ResetContent();
    ListPorts(list, portCount, query);
    if (selected >= 0 && selected < static_cast<int>(before.size()))
        list.SetCurSel(FindPort(list.Entries(), before[selected], PortOccurrence(before, selected)));
}

// Fills one direction's list and selects its stored port; a direction without ports says so
// and leaves the other direction usable.
template <typename Caps>
bool FillPortList(CComboBox& list, UINT portCount, MMRESULT (MidiDriver::*query)(UINT_PTR, Caps*, UINT),
                  int storedPort, UINT noPorts, UINT noneListed)
{
    if (portCount == 0)
    {
        AfxMessageBox(noPorts, MB_ERROR_BOX);
        return false;
    }
    if (ListPorts(list, portCount, query) == 0)
    {
        AfxMessageBox(noneListed, MB_ERROR_BOX);
        return false;
    }
    list.SetCurSel(storedPort);
    return true;
}
}

CMidiSetupDialog::CMidiSetupDialog(CDialog* parent)
    : CDialog(IDD_MIDI_SETUP, parent),
      m_deviceNumber(PortState().deviceNumber),
      m_inputPort(PortState().inputPort),
      m_outputPort(PortState().outputPort),
      m_pauseMs(PortState().pauseMs)
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
    // A list with no selection (no port, or a stored port that is gone) keeps the port it
    // had: -1 would open the system's default synthesizer instead.
    int inputPort = m_inputPort;
    int outputPort = m_outputPort;
    DDX_CBIndex(dx, IDC_INPUT_PORT, inputPort);
    DDX_CBIndex(dx, IDC_OUTPUT_PORT, outputPort);
    if (inputPort >= 0)
        m_inputPort = inputPort;
    if (outputPort >= 0)
        m_outputPort = outputPort;
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
    if (message == WM_DEVICECHANGE &&
        (wParam == DBT_DEVNODES_CHANGED || wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE))
    {
        RelistPorts(m_inputList, Midi().midiInGetNumDevs(), &MidiDriver::midiInGetDevCapsA);
        RelistPorts(m_outputList, Midi().midiOutGetNumDevs(), &MidiDriver::midiOutGetDevCapsA);
    }
    return CDialog::OnMessage(message, wParam, lParam, handled);
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

    m_inputList.ResetContent();
    m_outputList.ResetContent();
    const MidiPortState& state = PortState();

    // Each direction on its own: an output-only interface can still be chosen. A failure
    // leaves the dialog usable, so that the user can still cancel or keep the device number.
    const bool inputs = FillPortList(m_inputList, Midi().midiInGetNumDevs(), &MidiDriver::midiInGetDevCapsA,
                                     state.inputPort, IDS_NO_INPUT_PORTS, IDS_NO_INPUT_LISTED);
    const bool outputs = FillPortList(m_outputList, Midi().midiOutGetNumDevs(), &MidiDriver::midiOutGetDevCapsA,
                                      state.outputPort, IDS_NO_OUTPUT_PORTS, IDS_NO_OUTPUT_LISTED);
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
    };
    for (const auto& [control, text] : tools)
        m_toolTips.AddTool(GetDlgItem(control), text);
    return TRUE;
}
