#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "framework/FileDialog.h"
#include "framework/MessageBox.h"

// Answers and records every message box and file dialog while it lives.
class UiRecorder
{
public:
    UiRecorder();
    ~UiRecorder();

    // Answers for the next boxes, in order; when none is queued a box gets IDOK, or IDYES
    // for a question.
    void AnswerNextBoxes(std::initializer_list<int> answers);
    // The next file dialogs choose these paths ("" cancels).
    void ChooseFiles(std::initializer_list<std::string> paths);
    // Runs when a box is shown, before it is answered (e.g. to act while it is up).
    std::function<void(const MessageBoxRequest&)> onBox;

    std::vector<MessageBoxRequest> boxes;
    std::vector<FileDialogRequest> fileDialogs;

    // Text of the string `id` of the resource module.
    static std::string Text(UINT id);
    // True when exactly one box was shown and it had this text, type and help context.
    ::testing::AssertionResult ShowedOnly(const std::string& text, UINT type, UINT helpContext) const;
    ::testing::AssertionResult ShowedOnlyString(UINT id, UINT type) const;
    ::testing::AssertionResult ShowedNothing() const;

private:
    std::deque<int> m_answers;
    std::deque<std::string> m_files;
};
