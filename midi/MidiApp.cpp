#include "midi/MidiApp.h"

namespace
{
CMidiApp* MidiApp()
{
    return static_cast<CMidiApp*>(AfxGetApp());
}
}

std::mutex& MidiRoutingLock()
{
    static std::mutex lock;
    return lock;
}

void SetCurrentMidiWindow(CMidiDialog* window)
{
    std::lock_guard<std::mutex> lock(MidiRoutingLock());
    if (CMidiApp* app = MidiApp())
        app->m_currentMidiWindow = window;
}

CMidiDialog* CurrentMidiWindow()
{
    std::lock_guard<std::mutex> lock(MidiRoutingLock());
    return CurrentMidiWindowLocked();
}

CMidiDialog* CurrentMidiWindowLocked()
{
    CMidiApp* app = MidiApp();
    return app != nullptr ? app->m_currentMidiWindow : nullptr;
}

void LeaveCurrentMidiWindow(CMidiDialog* window)
{
    std::lock_guard<std::mutex> lock(MidiRoutingLock());
    CMidiApp* app = MidiApp();
    if (app != nullptr && app->m_currentMidiWindow == window)
        app->m_currentMidiWindow = nullptr;
}
