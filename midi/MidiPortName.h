#pragma once
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "framework/Unicode.h"
#include "midi/MidiDriver.h"

// The name a port's driver gives it, in UTF-8; nothing when the driver does not answer its
// capability query. `query` is midiInGetDevCapsA or midiOutGetDevCapsA.
template <typename Caps>
std::optional<std::string> MidiPortName(UINT port, MMRESULT (MidiDriver::*query)(UINT_PTR, Caps*, UINT))
{
    Caps caps{};
    if ((Midi().*query)(port, &caps, sizeof caps) != MMSYSERR_NOERROR)
        return std::nullopt;
    // A driver may fill the name field to the end without a terminator.
    return FromCodePage(std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname)));
}

// Two identical interfaces give two ports of one name, so a port is kept as its name and
// which of the ports of that name it is (0 for the first), counted in port order.
inline int PortOccurrence(const std::vector<std::string>& names, int port)
{
    if (port < 0 || port >= static_cast<int>(names.size()))
        return -1;
    return static_cast<int>(std::count(names.begin(), names.begin() + port, names[port]));
}

// The port of exactly that name and occurrence; -1 when there is none.
inline int FindPort(const std::vector<std::string>& names, const std::string& name, int occurrence)
{
    for (int port = 0; port < static_cast<int>(names.size()); ++port)
        if (names[port] == name && occurrence-- == 0)
            return port;
    return -1;
}

// Every port's name in port order; "" for a port whose driver does not answer.
template <typename Caps>
std::vector<std::string> MidiPortNames(UINT count, MMRESULT (MidiDriver::*query)(UINT_PTR, Caps*, UINT))
{
    std::vector<std::string> names;
    for (UINT port = 0; port < count; ++port)
        names.push_back(MidiPortName(port, query).value_or(""));
    return names;
}
