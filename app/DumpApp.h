#pragma once
#include "midi/MidiApp.h"

// The program: loads the resource module, allocates the MIDI buffers, runs the main
// window modally and tears everything down again when it closes.
class CDumpApp : public CMidiApp
{
public:
    BOOL InitInstance() override;
};
