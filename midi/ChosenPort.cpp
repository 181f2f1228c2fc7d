#include "midi/ChosenPort.h"

#include <dbt.h>

#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "midi/MidiDriver.h"
#include "midi/MidiPortName.h"
#include "resources/resource.h"

std::optional<MidiPortId>& ChosenPort(PortDirection direction)
{
    MidiPortState& state = PortState();
    return direction == PortDirection::Input ? state.inputPort : state.outputPort;
}

std::vector<std::string> PortNamesNow(PortDirection direction)
{
    if (direction == PortDirection::Input)
        return MidiPortNames(Midi().midiInGetNumDevs(), &MidiDriver::midiInGetDevCapsA);
    return MidiPortNames(Midi().midiOutGetNumDevs(), &MidiDriver::midiOutGetDevCapsA);
}

std::string ListedPort(const std::vector<std::string>& names, std::size_t port)
{
    return names.at(port).empty() ? FormatResString(IDS_UNLISTED_PORT_FORMAT, static_cast<unsigned>(port)) : names[port];
}

MidiPortId PortIdAt(const std::vector<std::string>& names, int port)
{
    return MidiPortId{names.at(port), PortOccurrence(names, port)};
}

int FindChosenPort(const std::vector<std::string>& names, const std::optional<MidiPortId>& choice)
{
    return choice ? FindPort(names, choice->name, choice->occurrence) : 0;
}

std::string ShownPort(const MidiPortId& port)
{
    if (port.occurrence == 0)
        return LoadResString(IDS_PORT_NAME, {port.name});
    return LoadResString(IDS_PORT_NAME_OCCURRENCE, {port.name, std::to_string(port.occurrence + 1)});
}

std::optional<MidiPortId> MissingChosenPort(PortDirection direction)
{
    const std::optional<MidiPortId>& choice = ChosenPort(direction);
    if (choice && FindChosenPort(PortNamesNow(direction), choice) < 0)
        return choice;
    return std::nullopt;
}

int ChosenPortNow(PortDirection direction)
{
    const std::optional<MidiPortId>& choice = ChosenPort(direction);
    const int port = FindChosenPort(PortNamesNow(direction), choice);
    if (port < 0)
        AfxMessageBox(direction == PortDirection::Input ? IDS_INPUT_PORT_NOT_CONNECTED : IDS_OUTPUT_PORT_NOT_CONNECTED,
                      {ShownPort(*choice)}, MB_ERROR_BOX);
    return port;
}

bool PortListChanged(UINT message, WPARAM wParam)
{
    return message == WM_DEVICECHANGE &&
           (wParam == DBT_DEVNODES_CHANGED || wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE);
}
