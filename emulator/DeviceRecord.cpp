#include "emulator/DeviceRecord.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

#include "emulator/EmulatedDevice.h"
#include "emulator/EmulatedMidiDriver.h"

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
