#pragma once
#include "framework/WinApp.h"

class CMidiDialog;

// The application object's share of the MIDI transport: the window that receives every
// driver callback. Non-owning; written only on the user-interface thread.
class CMidiApp : public CWinApp
{
public:
    CMidiDialog* m_currentMidiWindow = nullptr;
};

void SetCurrentMidiWindow(CMidiDialog* window);
CMidiDialog* CurrentMidiWindow();
