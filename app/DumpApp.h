#pragma once
#include <string>

#include "midi/MidiApp.h"

// The program: loads the resource module, allocates the MIDI buffers, takes the settings of
// the last run, runs the main window modally and tears everything down again when it
// closes, keeping the settings for the next run.
class CDumpApp : public CMidiApp
{
public:
    BOOL InitInstance() override;

    // Under HKEY_CURRENT_USER.
    std::string m_settingsKey = "Software\\SysEx Dump";
};
