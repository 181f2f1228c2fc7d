#pragma once
#include "framework/Settings.h"

class CMainDialog;

// What the program keeps between runs: the ports (by name, so that a re-ordered port list
// still finds them), the device number, the pause, and the main window's six file names.
// Loading takes them into the port state and the window before it opens; a first start, or
// a value that is missing or damaged, keeps the defaults.
void LoadSettings(const CSettings& settings, CMainDialog& window);
// The MIDI choices only (after MIDI Setup), or everything (when the program ends).
void SaveMidiSettings(const CSettings& settings);
void SaveSettings(const CSettings& settings, const CMainDialog& window);
