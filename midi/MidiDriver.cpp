#include "midi/MidiDriver.h"

#include "midi/LoggedMidiDriver.h"

namespace
{
LoggedMidiDriver g_loggedDriver;
}

MidiDriver& Midi()
{
    return g_loggedDriver;
}

void SetMidiDriver(MidiDriver* driver)
{
    g_loggedDriver.m_driver = driver;
}
