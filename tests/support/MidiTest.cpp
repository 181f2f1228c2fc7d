#include "support/MidiTest.h"

#include <windows.h>

#include <fstream>
#include <iterator>

#include "midi/MidiDriver.h"
#include "midi/MidiPortState.h"
#include "support/Pump.h"

void MidiTest::SetUp()
{
    m_driver = std::make_unique<EmulatedMidiDriver>(m_device);
    m_driver->SetPace(EmulatedMidiDriver::Pace::FullSpeed);
    SetMidiDriver(m_driver.get());
    ASSERT_TRUE(AllocateMidiBuffers());
    m_ui = std::make_unique<UiRecorder>();

    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_folder = std::string(temp) + "sysexdump-" + info->test_suite_name() + "-" + info->name();
    CreateDirectoryA(m_folder.c_str(), nullptr);
}

void MidiTest::TearDown()
{
    // Let the driver finish what is in flight, and the window handle what it delivered.
    m_driver->WaitUntilIdle();
    PumpUntil([] { return false; }, 20);
    EXPECT_EQ(0, m_driver->OpenInputPortCount()) << "an input port was left open";
    EXPECT_EQ(0, m_driver->OpenOutputPortCount()) << "an output port was left open";
    EXPECT_EQ(0, m_driver->PreparedHeaderCount()) << "a header was left prepared";
    m_ui.reset();
    FreeMidiBuffers();
    SetMidiDriver(nullptr);
    m_driver.reset();
}

std::string MidiTest::TempPath(const std::string& name) const
{
    return m_folder + "\\" + name;
}

std::vector<unsigned char> MidiTest::ReadFileBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), {});
}

void MidiTest::WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool MidiTest::FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
