#include "midi/MidiApp.h"

void SetCurrentMidiWindow(CMidiDialog* window)
{
    if (auto* app = static_cast<CMidiApp*>(AfxGetApp()))
        app->m_currentMidiWindow = window;
}

CMidiDialog* CurrentMidiWindow()
{
    auto* app = static_cast<CMidiApp*>(AfxGetApp());
    return app != nullptr ? app->m_currentMidiWindow : nullptr;
}
