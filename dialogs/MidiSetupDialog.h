#pragma once
#include "framework/Controls.h"
#include "framework/Dialog.h"

// Chooses the MIDI input and output ports, the device number and the pause after each
// message of a bulk send. Works on copies of the
// port state's values; the caller stores them after OK. A list entry's position is the
// port number the driver opens, so the lists are never sorted and no port is left out.
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
    int m_inputPort;
    int m_outputPort;
    int m_pauseMs;
    CToolTipCtrl m_toolTips;

protected:
    BOOL OnInitDialog() override;
    // While the dialog is open a device may be plugged in or out: the lists follow.
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
};
