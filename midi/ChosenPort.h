#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "midi/MidiPortState.h"

// The chosen ports, looked up in the driver's list as it is at the moment they are needed.
enum class PortDirection
{
    Input,
    Output,
};

// The port state's choice for that direction.
std::optional<MidiPortId>& ChosenPort(PortDirection direction);
// Every port's name now, in port order; "" for a port whose driver does not answer.
std::vector<std::string> PortNamesNow(PortDirection direction);
// A port as a list shows it: its name, or its number when its driver does not tell the name.
std::string ListedPort(const std::vector<std::string>& names, std::size_t port);
// The port `names[port]` as a choice: its name and which of that name it is.
MidiPortId PortIdAt(const std::vector<std::string>& names, int port);
// The number the choice has in `names`: the first port when none was chosen, -1 when the
// chosen port is not there.
int FindChosenPort(const std::vector<std::string>& names, const std::optional<MidiPortId>& choice);
// A port as a message names it: "Out B", or "USB" (number 2 of that name).
std::string ShownPort(const MidiPortId& port);
// The chosen port of that direction when it is not connected now.
std::optional<MidiPortId> MissingChosenPort(PortDirection direction);
// The number to open the chosen port by, as the driver lists its ports now. When the chosen
// port is not connected, says which one and returns -1: nothing may go to whatever port has
// taken its old number.
int ChosenPortNow(PortDirection direction);
// True for the notices that a device came or went, after which port lists are read again.
bool PortListChanged(UINT message, WPARAM wParam);
