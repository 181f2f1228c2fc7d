#pragma once
#include <windows.h>

#include <initializer_list>
#include <string>

// A string of the current resource module; empty when there is none.
std::string LoadResString(UINT id);

// Replaces %1..%9 in `format` by the given texts (the framework's placeholder formatting).
std::string FormatPlaceholders(const std::string& format, std::initializer_list<std::string> inserts);

// A string of the current resource module with its %1..%9 replaced by the given texts.
std::string LoadResString(UINT id, std::initializer_list<std::string> inserts);

// printf-style formatting of a resource string (the module's format strings).
std::string FormatResString(UINT id, ...);

// A number with its digits grouped as the user's locale groups them ("12,345,678").
std::string FormatGroupedNumber(unsigned long long value);
