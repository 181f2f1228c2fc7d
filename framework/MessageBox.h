#pragma once
#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>

// Kinds of box the program shows.
constexpr UINT MB_ERROR_BOX = MB_OK | MB_ICONEXCLAMATION;
// Every question confirms something that sends, replaces or discards: No is its default
// button, so that a key pressed twice, or pressed before the question was read, declines.
constexpr UINT MB_QUESTION_BOX = MB_YESNO | MB_DEFBUTTON2;
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
// A box with the text of string `promptId`, its %1, %2... replaced by `inserts`; that
// number is its help context.
int AfxMessageBox(UINT promptId, std::initializer_list<std::string> inserts, UINT type);

// The program's message about a file: the text of string `textId`, immediately followed by
// the file's name (shortened for display) and "!"; exclamation icon, no help context.
int AfxFileMessageBox(UINT textId, const std::string& fileName);
// A path for a message: one longer than `maximum` characters loses its middle to an ellipsis,
// so that the box stays on the screen.
std::string DisplayPath(const std::string& path, std::size_t maximum = 80);

// Tests answer boxes instead of the user: the hook returns the button pressed, or 0 to have
// the box shown after all (for keys typed into it).
using MessageBoxHook = std::function<int(const MessageBoxRequest&)>;
void SetMessageBoxHook(MessageBoxHook hook);
