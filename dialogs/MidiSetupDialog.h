#pragma once
#include <optional>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "midi/MidiPortState.h"

// Chooses the MIDI input and output ports, the device number and the pause after each
// message of a bulk send. Works on copies of the port state's values; the caller stores them
// after OK. A list entry's position is the port's number in the driver's list, so the lists
// are never sorted and no port is left out; a chosen port that is not connected is listed
// after them as such.
class CMidiSetupDialog : public CDialog
{
public:
    explicit CMidiSetupDialog(CDialog* parent = nullptr);

    void DoDataExchange(CDataExchange* dx) override;
    BOOL PreTranslateMessage(MSG* message) override;

    CSpinButtonCtrl m_spin;
    CSpinButtonCtrl m_pauseSpin;
    CComboBox m_outputList;
    CComboBox m_inputList;
    int m_deviceNumber;
    std::optional<MidiPortId> m_inputPort;
    std::optional<MidiPortId> m_outputPort;
    int m_pauseMs;
    // Where the history of every dump is kept, and how many megabytes it keeps.
    std::string m_historyFolder;
    int m_historyLimitMegabytes;
    // Whether a send first backs up the slot or algorithm it overwrites.
    BOOL m_backupBeforeOverwrite;
    CToolTipCtrl m_toolTips;

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(UINT id, UINT notifyCode) override;
    // While the dialog is open a device may be plugged in or out: the lists follow.
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    void OnBrowseHistoryFolder();
    // Finds the device's ports and number; the answer taken fills the fields, nothing more.
    void OnFindDevice();
    // The ports the lists' selections stand for; a choice that is not listed is kept.
    void TakeSelectedPorts();
    // The driver's names of the listed ports, in port order.
    std::vector<std::string> m_inputNames;
    std::vector<std::string> m_outputNames;
};
