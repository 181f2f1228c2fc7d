#include "midi/MidiDriver.h"

namespace
{
MidiDriver* g_driver = nullptr;
}

MidiDriver& Midi()
{
    return *g_driver;
}

void SetMidiDriver(MidiDriver* driver)
{
    g_driver = driver;
}
