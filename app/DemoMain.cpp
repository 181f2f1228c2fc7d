// The demo: the same program, connected to the built-in emulated device, which answers at
// the speed of a real MIDI cable. SYSEXDUMP_DEMO_PACE=full makes it answer at once (the
// end-to-end tests use it to move large dumps quickly); SYSEXDUMP_DEMO_LINE=cable, alsa,
// midisrv or stalled makes its driver behave like one that users have (cable by default), and
// SYSEXDUMP_DEMO_KERNEL_BUFFER=<bytes> sets the alsa kernel buffer (4096 by default);
// Its settings and its history are its own (the emulated device's dumps never mix with a real
// device's); SYSEXDUMP_DEMO_SETTINGS_KEY keeps the settings under another key of HKEY_CURRENT_USER.
// The driver has four port pairs, "Demo MIDI 1" to "Demo MIDI 4"; the device sits on the
// second as device number 5, so that finding it means something; SYSEXDUMP_DEMO_DEVICE=<pair>:<number>
// (1 to 4, 1 to 16) puts it elsewhere. A first run's settings point at it, as a user who has
// set the program up would have them.
#include <algorithm>
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
#include "framework/Settings.h"
#include "history/DumpHistory.h"
#include "midi/MidiPortState.h"

CDumpApp theApp;

namespace
{
constexpr int DemoPortPairs = 4;

// Where the device is: the port pair (0 for the first) and its device number.
void PlaceDevice(EmulatedDevice& device, EmulatedMidiDriver& driver, const std::string& settingsKey)
{
    int pair = 2, number = 5;
    if (const char* place = std::getenv("SYSEXDUMP_DEMO_DEVICE"))
        std::sscanf(place, "%d:%d", &pair, &number);
    pair = std::clamp(pair, 1, DemoPortPairs) - 1;
    number = std::clamp(number, 1, 16);
    std::vector<EmulatedMidiDriver::PortInfo> ports;
    for (int port = 1; port <= DemoPortPairs; ++port)
        ports.push_back({"Demo MIDI " + std::to_string(port)});
    driver.SetInputPorts(ports);
    driver.SetOutputPorts(ports);
    driver.SetDevicePorts(pair, pair);
    device.SetDeviceNumber(number);
    const CSettings settings(settingsKey);
    if (settings.ReadInt("DeviceNumber", 0, 0, 16) != 0)
        return;
    settings.WriteString("InputPort", ports[pair].name);
    settings.WriteString("OutputPort", ports[pair].name);
    settings.WriteInt("DeviceNumber", number);
    if (settings.ReadString("HistoryFolder", "", MAX_PATH).empty())
        settings.WriteString("HistoryFolder", CDumpHistory::DefaultFolder() + " (demo)");
}
}

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
    theApp.m_settingsKey = settingsKey != nullptr && *settingsKey != '\0' ? settingsKey : "Software\\SysEx Dump Demo";
    PlaceDevice(device, driver, theApp.m_settingsKey);
    const int result = AfxWinMain(instance);

    // SYSEXDUMP_DEMO_RECORD=<folder>: the device's state is left there when the program ends,
    // for the end-to-end tests.
    const char* folder = std::getenv("SYSEXDUMP_DEMO_RECORD");
    if (folder != nullptr && *folder != '\0')
        RecordDevice(driver, folder);
    return result;
}
