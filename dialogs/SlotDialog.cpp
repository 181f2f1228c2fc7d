#include "dialogs/SlotDialog.h"

#include "framework/DataExchange.h"
#include "resources/resource.h"

CSlotDialog::CSlotDialog(CDialog* parent) : CDialog(IDD_BANK_SLOT, parent)
{
}

void CSlotDialog::DoDataExchange(CDataExchange* dx)
{
    DDX_Control(dx, IDC_BANK_SLOT_SPIN, m_spin);
    DDX_Text(dx, IDC_BANK_SLOT, m_slot);
    DDV_MinMaxInt(dx, m_slot, 1, 100);
}

BOOL CSlotDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_spin.SetRange(1, 100);
    return TRUE;
}
