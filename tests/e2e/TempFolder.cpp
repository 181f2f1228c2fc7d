#include "TempFolder.h"

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

TempFolder::TempFolder()
{
    static std::atomic<unsigned> counter{0};
    // Several runs may share the temporary folder: the process id keeps them apart.
    do
        m_path = (fs::temp_directory_path() / ("sysexdump-" + std::to_string(GetCurrentProcessId()) + "-" +
                                               std::to_string(counter++))).u8string();
    while (!fs::create_directory(fs::u8path(m_path)));
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    fs::remove_all(fs::u8path(m_path), ignored);
}

std::string TempFolder::File(const std::string& name) const { return m_path + "\\" + name; }

std::vector<std::uint8_t> TempFolder::ReadBytes(const std::string& path)
{
    std::ifstream file(fs::u8path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool TempFolder::WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream file(fs::u8path(path), std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

std::vector<std::string> TempFolder::ReadLines(const std::string& path)
{
    std::ifstream file(fs::u8path(path));
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}
