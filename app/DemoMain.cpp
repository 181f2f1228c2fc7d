// The demo: the same program, connected to the built-in emulated device, which answers at
// the speed of a real MIDI cable. SYSEXDUMP_DEMO_PACE=full makes it answer at once (the
// end-to-end tests use it to move large dumps quickly); SYSEXDUMP_DEMO_LINE=cable, alsa,
// midisrv or stalled makes its driver behave like one that users have (cable by default), and
// SYSEXDUMP_DEMO_KERNEL_BUFFER=<bytes> sets the alsa kernel buffer (4096 by default);
// SYSEXDUMP_DEMO_SETTINGS_KEY keeps the settings under another key of HKEY_CURRENT_USER.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/DumpApp.h"
#include "emulator/DeviceRecord.h"
#include "emulator/EmulatedDevice.h"
#include "emulator/EmulatedMidiDriver.h"
#include "midi/MidiPortState.h"

CDumpApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    static EmulatedDevice device;
    static EmulatedMidiDriver driver(device);
    const char* pace = std::getenv("SYSEXDUMP_DEMO_PACE");
    driver.SetPace(pace != nullptr && std::strcmp(pace, "full") == 0 ? EmulatedMidiDriver::Pace::FullSpeed
                                                                      : EmulatedMidiDriver::Pace::WireRate);
    if (pace != nullptr && std::strcmp(pace, "full") == 0)
        SetWireByteTime(0);
    EmulatedMidiDriver::Line line = EmulatedMidiDriver::Line::Cable;
    if (ParseLine(std::getenv("SYSEXDUMP_DEMO_LINE"), line))
        driver.SetLine(line);
    const char* kernelBuffer = std::getenv("SYSEXDUMP_DEMO_KERNEL_BUFFER");
    if (kernelBuffer != nullptr && std::atoi(kernelBuffer) > 0)
        driver.SetKernelBufferSize(static_cast<std::size_t>(std::atoi(kernelBuffer)));
    SetMidiDriver(&driver);
    // The end-to-end tests keep their settings under a key of their own.
    const char* settingsKey = std::getenv("SYSEXDUMP_DEMO_SETTINGS_KEY");
    if (settingsKey != nullptr && *settingsKey != '\0')
        theApp.m_settingsKey = settingsKey;
    const int result = AfxWinMain(instance);

    // SYSEXDUMP_DEMO_RECORD=<folder>: the device's state is left there when the program ends,
    // for the end-to-end tests.
    const char* folder = std::getenv("SYSEXDUMP_DEMO_RECORD");
    if (folder != nullptr && *folder != '\0')
        RecordDevice(driver, folder);
    return result;
}
