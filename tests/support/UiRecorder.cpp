#include "support/UiRecorder.h"

#include "framework/Strings.h"
#include "resources/resource.h"

bool operator==(const Box& a, const Box& b) { return a.text == b.text && a.type == b.type && a.helpContext == b.helpContext; }

void PrintTo(const Box& box, std::ostream* out) { *out << "[" << box.text << "] type " << box.type << " help " << box.helpContext; }

Box Error(UINT id, std::initializer_list<std::string> inserts)
{
    return {FormatPlaceholders(LoadResString(id), inserts), MB_ERROR_BOX, id};
}

Box Question(UINT id, std::initializer_list<std::string> inserts)
{
    return {FormatPlaceholders(LoadResString(id), inserts), MB_YESNO | MB_DEFBUTTON2, id};
}

Box FileError(UINT id, const std::string& name) { return {LoadResString(id) + name + "!", MB_ERROR_BOX, 0}; }

Box ErrorText(const std::string& text) { return {text, MB_ERROR_BOX, 0}; }

Box Stored(const std::string& name)
{
    return {FormatPlaceholders(LoadResString(IDS_DUMP_STORED), {name}), MB_NOTE_BOX, 0};
}

Box NotANumber() { return {LoadResString(AFX_IDP_PARSE_INT), MB_NOTE_BOX, AFX_IDP_PARSE_INT}; }

Box OutOfRange(int lower, int upper)
{
    return Error(AFX_IDP_PARSE_INT_RANGE, {std::to_string(lower), std::to_string(upper)});
}

UiRecorder::UiRecorder()
{
    SetMessageBoxHook([this](const MessageBoxRequest& request) {
        boxes.push_back(request);
        if (onBox)
            onBox(request);
        if (!answers.empty())
        {
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return (request.type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    });
    CFileDialog::SetHook([this](const FileDialogRequest& request) {
        fileDialogs.push_back(request);
        if (onFileDialog)
            onFileDialog(request);
        if (files.empty())
            return FileDialogAnswer{false, {}};
        const std::string path = files.front();
        files.pop_front();
        return FileDialogAnswer{!path.empty(), path};
    });
}

UiRecorder::~UiRecorder()
{
    SetMessageBoxHook(nullptr);
    CFileDialog::SetHook(nullptr);
}
