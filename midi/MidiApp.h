#pragma once
#include <mutex>

#include "framework/WinApp.h"

class CMidiDialog;

// The application object's share of the MIDI transport: the window that receives every
// driver callback. Non-owning; changed only on the user-interface thread, read by the
// driver's callbacks under MidiRoutingLock.
class CMidiApp : public CWinApp
{
public:
    CMidiDialog* m_currentMidiWindow = nullptr;
};

// Guards the current MIDI window and every window's event queue together, so that a
// callback that has found a window queues into it before that window can go away.
// No midi* call is ever made while it is held.
std::mutex& MidiRoutingLock();

void SetCurrentMidiWindow(CMidiDialog* window);
// The window that gets the callbacks now (holds the lock itself).
CMidiDialog* CurrentMidiWindow();
// Callers hold MidiRoutingLock.
CMidiDialog* CurrentMidiWindowLocked();
// A window that goes away stops being the current one (holds the lock itself).
void LeaveCurrentMidiWindow(CMidiDialog* window);
