#include "support/UiRecorder.h"

#include "framework/Strings.h"

UiRecorder::UiRecorder()
{
    SetMessageBoxHook([this](const MessageBoxRequest& request) {
        boxes.push_back(request);
        if (onBox)
            onBox(request);
        if (!m_answers.empty())
        {
            const int answer = m_answers.front();
            m_answers.pop_front();
            return answer;
        }
        return (request.type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    });
    CFileDialog::SetHook([this](const FileDialogRequest& request) {
        fileDialogs.push_back(request);
        if (m_files.empty())
            return FileDialogAnswer{false, {}};
        const std::string path = m_files.front();
        m_files.pop_front();
        return FileDialogAnswer{!path.empty(), path};
    });
}

UiRecorder::~UiRecorder()
{
    SetMessageBoxHook(nullptr);
    CFileDialog::SetHook(nullptr);
}

void UiRecorder::AnswerNextBoxes(std::initializer_list<int> answers)
{
    m_answers.insert(m_answers.end(), answers);
}

void UiRecorder::ChooseFiles(std::initializer_list<std::string> paths)
{
    m_files.insert(m_files.end(), paths);
}

std::string UiRecorder::Text(UINT id)
{
    return LoadResString(id);
}

::testing::AssertionResult UiRecorder::ShowedOnly(const std::string& text, UINT type, UINT helpContext) const
{
    if (boxes.size() != 1)
    {
        auto failure = ::testing::AssertionFailure() << boxes.size() << " boxes shown:";
        for (const auto& box : boxes)
            failure << " [" << box.text << "]";
        return failure;
    }
    const MessageBoxRequest& box = boxes.front();
    if (box.text != text || box.type != type || box.helpContext != helpContext)
        return ::testing::AssertionFailure() << "shown [" << box.text << "] type " << box.type << " help "
                                             << box.helpContext << ", expected [" << text << "] type " << type
                                             << " help " << helpContext;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult UiRecorder::ShowedOnlyString(UINT id, UINT type) const
{
    return ShowedOnly(Text(id), type, id);
}

::testing::AssertionResult UiRecorder::ShowedNothing() const
{
    if (boxes.empty())
        return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << boxes.size() << " boxes shown:";
    for (const auto& box : boxes)
        failure << " [" << box.text << "]";
    return failure;
}
