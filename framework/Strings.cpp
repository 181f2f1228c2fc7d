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
