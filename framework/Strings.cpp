#include "framework/Strings.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "framework/Unicode.h"
#include "framework/WinApp.h"

std::string LoadResString(UINT id)
{
    // The module's own text, read in place (a buffer length of 0 asks for its address).
    const wchar_t* text = nullptr;
    const int length = LoadStringW(AfxGetResourceHandle(), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? Narrow(std::wstring(text, static_cast<size_t>(length))) : std::string();
}

std::string LoadResString(UINT id, std::initializer_list<std::string> inserts)
{
    return FormatPlaceholders(LoadResString(id), inserts);
}

std::string FormatPlaceholders(const std::string& format, std::initializer_list<std::string> inserts)
{
    const std::vector<std::string> values(inserts);
    std::string result;
    for (size_t i = 0; i < format.size(); ++i)
    {
        const char next = i + 1 < format.size() ? format[i + 1] : '\0';
        if (format[i] == '%' && next >= '1' && next <= '9')
        {
            const size_t index = next - '1';
            if (index < values.size())
            {
                result += values[index];
                ++i;
                continue;
            }
        }
        result += format[i];
    }
    return result;
}

std::string FormatResString(UINT id, ...)
{
    const std::string format = LoadResString(id);
    va_list args;
    va_start(args, id);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format.c_str(), measure);
    va_end(measure);
    std::string result;
    if (length > 0)
    {
        result.resize(length + 1);
        std::vsnprintf(&result[0], result.size(), format.c_str(), args);
        result.resize(length);
    }
    va_end(args);
    return result;
}

std::string FormatGroupedNumber(unsigned long long value)
{
    const std::wstring digits = std::to_wstring(value);
    wchar_t decimal[8] = L".";
    wchar_t thousand[8] = L",";
    wchar_t grouping[16] = L"3;0";
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8);
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STHOUSAND, thousand, 8);
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SGROUPING, grouping, 16);
    // The locale says "3;0" for groups of three all the way (3 here), "3;2;0" for three,
    // then twos (32), and "3" for one group only (30).
    const std::wstring groups = grouping;
    UINT groupingValue = 0;
    for (const wchar_t c : groups)
        if (c >= L'1' && c <= L'9')
            groupingValue = groupingValue * 10 + static_cast<UINT>(c - L'0');
    if (groups.size() < 2 || groups.compare(groups.size() - 2, 2, L";0") != 0)
        groupingValue *= 10;
    NUMBERFMTW format{0, 0, groupingValue, decimal, thousand, 1};
    wchar_t text[64];
    if (GetNumberFormatEx(LOCALE_NAME_USER_DEFAULT, 0, digits.c_str(), &format, text, 64) == 0)
        return Narrow(digits);
    return Narrow(text);
}
