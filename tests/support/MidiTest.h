#pragma once
#include <gtest/gtest.h>

#include <memory>

#include "emulator/EmulatedDevice.h"
#include "emulator/EmulatedMidiDriver.h"
#include "support/UiRecorder.h"

// Base of the tests that run the program's windows on the emulated device: a fresh device
// and driver (full speed) per test, the MIDI buffers allocated, boxes and file dialogs
// answered and recorded. After every test no port may be left open and no header prepared.
class MidiTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // A path in a fresh folder of this test, under the system's temporary folder.
    std::string TempPath(const std::string& name) const;
    static std::vector<unsigned char> ReadFileBytes(const std::string& path);
    static void WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes);
    static bool FileExists(const std::string& path);

    EmulatedDevice m_device;
    std::unique_ptr<EmulatedMidiDriver> m_driver;
    std::unique_ptr<UiRecorder> m_ui;

private:
    std::string m_folder;
};
