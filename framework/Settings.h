#pragma once
#include <cstddef>
#include <string>

// Values kept between runs under one key of HKEY_CURRENT_USER (the key is a parameter, so
// that tests use their own). Reading ignores a value that is missing, of another type or out
// of range: the caller's default stands. Writing fails silently: the program works without
// its settings.
class CSettings
{
public:
    explicit CSettings(const std::string& subKey);

    int ReadInt(const char* name, int defaultValue, int minimum, int maximum) const;
    std::string ReadString(const char* name, const std::string& defaultValue, std::size_t maxCharacters) const;
    void WriteInt(const char* name, int value) const;
    void WriteString(const char* name, const std::string& value) const;
    // Removes the key with everything under it.
    void DeleteAll() const;

private:
    std::wstring m_subKey;
};
