#include "framework/Unicode.h"

#include <windows.h>

namespace
{
std::wstring ToWide(UINT codePage, const std::string& text)
{
    if (text.empty())
        return {};
    const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}
}

std::wstring Widen(const std::string& utf8)
{
    return ToWide(CP_UTF8, utf8);
}

std::string Narrow(const std::wstring& utf16)
{
    if (utf16.empty())
        return {};
    const int size = static_cast<int>(utf16.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, &narrow[0], length, nullptr, nullptr);
    return narrow;
}

std::string Narrow(const wchar_t* utf16)
{
    return utf16 != nullptr ? Narrow(std::wstring(utf16)) : std::string();
}

std::string FromCodePage(const std::string& text)
{
    return Narrow(ToWide(CP_ACP, text));
}

std::size_t CharacterCount(const std::string& utf8)
{
    return Widen(utf8).size();
}
