#pragma once
#include <cstring>
#include <optional>
#include <string>

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
