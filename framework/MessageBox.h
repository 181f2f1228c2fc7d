#pragma once
#include <windows.h>

#include <functional>
#include <string>

// Kinds of box the program shows.
constexpr UINT MB_ERROR_BOX = MB_OK | MB_ICONEXCLAMATION;
constexpr UINT MB_QUESTION_BOX = MB_YESNO;
constexpr UINT MB_NOTE_BOX = MB_OK;

struct MessageBoxRequest
{
    std::string text;
    UINT type;
    UINT helpContext; // 0 when none
};

// A box with the text of string `promptId`; that number is its help context.
int AfxMessageBox(UINT promptId, UINT type = MB_OK, UINT helpContext = UINT(-1));
// A box with an assembled text, no help context unless given.
int AfxMessageBox(const std::string& text, UINT type = MB_OK, UINT helpContext = 0);

// The program's message about a file: the text of string `textId`, immediately followed by
// the file's name and "!"; exclamation icon, no help context.
int AfxFileMessageBox(UINT textId, const std::string& fileName);

// Tests answer boxes instead of the user: the hook returns the button pressed.
using MessageBoxHook = std::function<int(const MessageBoxRequest&)>;
void SetMessageBoxHook(MessageBoxHook hook);
