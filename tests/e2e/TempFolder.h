#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A fresh, empty folder under the system's temporary folder, removed with its files when
// the object goes.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return m_path; }
    // The full path of a file in the folder.
    std::string File(const std::string& name) const;

    static std::vector<std::uint8_t> ReadBytes(const std::string& path);
    static bool WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
    static std::vector<std::string> ReadLines(const std::string& path);

private:
    std::string m_path;
};
