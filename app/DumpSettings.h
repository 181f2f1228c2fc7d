#pragma once
#include <optional>
#include <string>

#include "framework/Settings.h"
#include "midi/MidiPortState.h"

class CMainDialog;

// What the program keeps between runs: the ports, the device number, the pause, whether a
// bulk send backs the device up first, and the main window's six file names. A port is kept
// as its name and which of the ports of that name it was, so that a re-ordered port list and
// two identical interfaces still find it.
// A first start, or a value that is missing or damaged, keeps the defaults.
class CDumpSettings
{
public:
    explicit CDumpSettings(const std::string& subKey);

    // Loads the kept values into the port state and the window before it opens, and keeps
    // them from then on: MIDI Setup's choices after its OK, and everything, the file names
    // as the fields show them, when the window closes.
    void Keep(CMainDialog& window);
    // Says once which kept port is gone and which port stands in for it.
    void Load(CMainDialog& window);
    // A port that only stands in for a kept one that is gone is never written.
    void SaveMidi();
    void Save(const CMainDialog& window);

    const CSettings m_settings;

private:
    // Name and occurrence of a port that stands in for a kept one, per direction.
    std::optional<MidiPortId> m_standIns[2];
};
