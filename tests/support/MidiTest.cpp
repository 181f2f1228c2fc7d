#include "support/MidiTest.h"

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "midi/MidiDriver.h"
#include "midi/MidiPortState.h"
#include "support/Pump.h"

namespace
{
// Empties `folder` (given with its trailing backslash), subfolders included.
void EmptyFolder(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do
    {
        const std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        const std::string path = folder + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        {
            EmptyFolder(path + "\\");
            RemoveDirectoryA(path.c_str());
        }
        else
        {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}
}

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
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    // Parameterised tests have slashes in their names.
    std::replace(name.begin(), name.end(), '/', '-');
    m_folder = std::string(temp) + "sysexdump-" + name;
    CreateDirectoryA(m_folder.c_str(), nullptr);
    // The folder outlives earlier runs: files left there would change what windows ask.
    EmptyFolder(m_folder + "\\");
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
