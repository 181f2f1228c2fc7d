#pragma once
#include <windows.h>

#include <deque>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "framework/FileDialog.h"
#include "framework/MessageBox.h"

// A message box as a test expects it: text, buttons and icon, help context.
using Box = MessageBoxRequest;
bool operator==(const Box& a, const Box& b);
void PrintTo(const Box& box, std::ostream* out);

// The program's kinds of box, by string number; inserts replace %1, %2...
Box Error(UINT id, std::initializer_list<std::string> inserts = {});
// A question: Yes and No, and No the default, so that a stray key declines.
Box Question(UINT id, std::initializer_list<std::string> inserts = {});
// An error whose text the program assembles: string + file name + "!", no help context.
Box FileError(UINT id, const std::string& name);
// A box with a text of its own and no help context (device errors, the stored note).
Box ErrorText(const std::string& text);
Box Stored(const std::string& name);
// The framework's prompts.
Box NotANumber();
Box OutOfRange(int lower, int upper);

// Answers and records every message box and file dialog while it lives.
class UiRecorder
{
public:
    UiRecorder();
    ~UiRecorder();

    // Answers for the next boxes, in order (0: the box is shown, for keys typed into it); when
    // none is left a box gets IDOK, or IDYES for a question.
    std::deque<int> answers;
    // The paths the next file dialogs choose ("" cancels); when none is left they are cancelled.
    std::deque<std::string> files;
    // Runs when a box is shown, before it is answered (e.g. to act while it is up).
    std::function<void(const Box&)> onBox;
    // The same for a file dialog.
    std::function<void(const FileDialogRequest&)> onFileDialog;

    std::vector<Box> boxes;
    std::vector<FileDialogRequest> fileDialogs;

};
