#pragma once
#include "framework/Dialog.h"

// The three-way choice for device command 0x22: m_choice is 0, 1 or 2 after OK.
class CSelectorDialog : public CDialog
{
public:
    explicit CSelectorDialog(CDialog* parent = nullptr);
    void DoDataExchange(CDataExchange* dx) override;

    int m_choice = 0;
};
