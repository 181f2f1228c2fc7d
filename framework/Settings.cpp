#include "framework/Settings.h"

#include <windows.h>

#include <vector>

#include "framework/Unicode.h"

CSettings::CSettings(const std::string& subKey) : m_subKey(Widen(subKey))
{
}

int CSettings::ReadInt(const char* name, int defaultValue, int minimum, int maximum) const
{
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, m_subKey.c_str(), Widen(name).c_str(), RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS)
        return defaultValue;
    const long long number = static_cast<long long>(static_cast<LONG>(value));
    return number >= minimum && number <= maximum ? static_cast<int>(number) : defaultValue;
}

std::string CSettings::ReadString(const char* name, const std::string& defaultValue, std::size_t maxCharacters) const
{
    const std::wstring valueName = Widen(name);
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, m_subKey.c_str(), valueName.c_str(), RRF_RT_REG_SZ, nullptr, nullptr,
                     &size) != ERROR_SUCCESS ||
        size / sizeof(wchar_t) > maxCharacters + 1)
        return defaultValue;
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_CURRENT_USER, m_subKey.c_str(), valueName.c_str(), RRF_RT_REG_SZ, nullptr, text.data(),
                     &size) != ERROR_SUCCESS)
        return defaultValue;
    return Narrow(text.data());
}

void CSettings::WriteInt(const char* name, int value) const
{
    const DWORD data = static_cast<DWORD>(value);
    RegSetKeyValueW(HKEY_CURRENT_USER, m_subKey.c_str(), Widen(name).c_str(), REG_DWORD, &data, sizeof data);
}

void CSettings::WriteString(const char* name, const std::string& value) const
{
    const std::wstring text = Widen(value);
    RegSetKeyValueW(HKEY_CURRENT_USER, m_subKey.c_str(), Widen(name).c_str(), REG_SZ, text.c_str(),
                    static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void CSettings::DeleteAll() const
{
    RegDeleteTreeW(HKEY_CURRENT_USER, m_subKey.c_str());
}
