#include "dialogs/SelectorDialog.h"

#include "framework/DataExchange.h"
#include "resources/resource.h"

CSelectorDialog::CSelectorDialog(CDialog* parent) : CDialog(IDD_SELECTOR, parent)
{
}

void CSelectorDialog::DoDataExchange(CDataExchange* dx)
{
    DDX_Radio(dx, IDC_SELECTOR_FIRST, m_choice);
}
