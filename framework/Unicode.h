#pragma once
#include <string>

// Text is UTF-8 inside the program and UTF-16 at the Windows boundary: every file name and
// shown text crosses through these two, so that any name works on any Windows version.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);
std::string Narrow(const wchar_t* utf16);
// Text of the active code page (what the ANSI driver queries report), as UTF-8.
std::string FromCodePage(const std::string& text);
// Characters as an edit control counts them (UTF-16 units).
std::size_t CharacterCount(const std::string& utf8);
