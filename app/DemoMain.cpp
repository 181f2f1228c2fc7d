// The demo: the same program, connected to the built-in emulated device, which answers at
// the speed of a real MIDI cable. SYSEXDUMP_DEMO_PACE=full makes it answer at once (the
// end-to-end tests use it to move large dumps quickly); SYSEXDUMP_DEMO_LINE=cable, alsa,
// queued or stalled makes its driver behave like one that users have (cable by default), and
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
#include "emulator/EmulatedDevice.h"
#include "emulator/EmulatedMidiDriver.h"
#include "midi/MidiPortState.h"

CDumpApp theApp;

namespace
{
// --- Test instrumentation ------------------------------------------------------------------
// SYSEXDUMP_DEMO_RECORD=<folder>: when the program ends, the device's state is left in that
// folder so that the end-to-end tests, which drive the program from another process, can
// check what reached the device:
//   memory.syx          the device's whole memory, as its bulk dump
//   short-messages.txt  every short message received, one per line, 8 hex digits
//   sysex.txt           every SysEx message received, one per line, hex bytes
void RecordDevice(EmulatedMidiDriver& driver, const std::string& folder)
{
    // A message handed over just before the window closed still reaches the device.
    driver.WaitUntilIdle(std::chrono::seconds(5));

    std::vector<std::uint8_t> memory;
    std::vector<std::uint32_t> shortMessages;
    std::vector<std::vector<std::uint8_t>> sysex;
    driver.WithDevice([&](EmulatedDevice& device) {
        memory = device.BulkDump();
        shortMessages = device.ShortMessages();
        sysex = device.ReceivedMessages();
    });

    std::ofstream(folder + "\\memory.syx", std::ios::binary)
        .write(reinterpret_cast<const char*>(memory.data()), static_cast<std::streamsize>(memory.size()));
    char hex[16];
    std::ofstream shortFile(folder + "\\short-messages.txt");
    for (std::uint32_t message : shortMessages)
    {
        std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(message));
        shortFile << hex << '\n';
    }
    std::ofstream sysexFile(folder + "\\sysex.txt");
    for (const auto& message : sysex)
    {
        for (std::size_t i = 0; i < message.size(); ++i)
        {
            std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : " %02X", message[i]);
            sysexFile << hex;
        }
        sysexFile << '\n';
    }
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
        PortState().wireClock.SetByteTime(0);
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

    const char* folder = std::getenv("SYSEXDUMP_DEMO_RECORD");
    if (folder != nullptr && *folder != '\0')
        RecordDevice(driver, folder);
    return result;
}
