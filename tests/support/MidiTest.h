#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "emulator/EmulatedDevice.h"
#include "emulator/EmulatedMidiDriver.h"
#include "support/UiRecorder.h"

// Base of the tests that run the program's windows on the emulated device: a factory-fresh
// device on its own driver (full speed), the MIDI buffers allocated, boxes and file dialogs
// answered and recorded, a folder of the test's own, a short reply time-out, and no backup
// before a bulk send. After every test no port may be left open and no header prepared.
class MidiTest : public ::testing::Test
{
public:
    using Bytes = std::vector<std::uint8_t>;

    // Starts the next case of a table afresh: a new device and driver, the port state's
    // defaults, an empty folder, no boxes.
    void Fresh();
    // Lets the driver and the windows finish, then checks that no port is open and no header
    // prepared.
    void ExpectNothingLeftOpen();

    // A path (UTF-8) in the test's folder.
    std::string Path(const std::string& name) const;
    void WriteFile(const std::string& name, const Bytes& bytes) const { TempFolder::WriteBytes(Path(name), bytes); }
    // Every file of the folder (not its subfolders), by name, with its bytes.
    std::map<std::string, Bytes> Files() const;

    // The driver and the wire clock at 31,250 baud (both start infinitely fast), on `line`.
    void AtWireRate(EmulatedMidiDriver::Line line = EmulatedMidiDriver::Line::Cable);
    // A line and the path the program takes on it: pieces of one buffer at most, or whole (Wine).
    struct LinePath { const char* name; EmulatedMidiDriver::Line line; int underWine; };
    // Where transfers must work: Windows on the cable, Wine on alsa, both on the MIDI service.
    static const std::vector<LinePath>& LinePaths();
    // AtWireRate on the path's line, alsa's kernel buffer raised to hold a long message whole.
    void AtWireRate(const LinePath& path);
    // Every complete message the device received, in order.
    std::vector<Bytes> Received();
    // The device, reached under the driver's lock.
    void WithDevice(const std::function<void(EmulatedDevice&)>& action);
    void SetReplyMode(EmulatedDevice::ReplyMode mode);
    // Every long message handed to the driver, in order.
    std::vector<Bytes> Sent() const;

    std::unique_ptr<EmulatedDevice> m_device;
    std::unique_ptr<EmulatedMidiDriver> m_driver;
    std::unique_ptr<UiRecorder> m_ui;

protected:
    void SetUp() override;
    void TearDown() override;

private:
    void StopDriver();
    std::unique_ptr<TempFolder> m_folder;
};
