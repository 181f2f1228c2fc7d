#pragma once
#include "framework/Dialog.h"

// The about box: operating-system version, memory figures, free space of the current drive.
// The figures are read once, when the box opens.
class CAboutDialog : public CDialog
{
public:
    CAboutDialog();

protected:
    BOOL OnInitDialog() override;

private:
    void ShowVersion();
    void ShowMemory();
    void ShowFreeDiskSpace();
};
