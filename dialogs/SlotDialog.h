#pragma once
#include "framework/Controls.h"
#include "framework/Dialog.h"

// Asks for the memory slot (1 to 100) that a program dump of the bank window goes to.
class CSlotDialog : public CDialog
{
public:
    explicit CSlotDialog(CDialog* parent = nullptr);
    void DoDataExchange(CDataExchange* dx) override;

    int m_slot = 1;

protected:
    BOOL OnInitDialog() override;

private:
    CSpinButtonCtrl m_spin;
};
