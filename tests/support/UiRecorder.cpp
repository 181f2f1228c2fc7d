#include "support/UiRecorder.h"

#include "framework/Strings.h"
#include "resources/resource.h"

#include <utility>

bool operator==(const Box& a, const Box& b) { return a.text == b.text && a.type == b.type && a.helpContext == b.helpContext; }

void PrintTo(const Box& box, std::ostream* out) { *out << "[" << box.text << "] type " << box.type << " help " << box.helpContext; }

Box Error(UINT id, std::initializer_list<std::string> inserts)
{ return {FormatPlaceholders(LoadResString(id), inserts), MB_ERROR_BOX, id}; }

Box Question(UINT id, std::initializer_list<std::string> inserts)
{ return {FormatPlaceholders(LoadResString(id), inserts), MB_YESNO | MB_DEFBUTTON2, id}; }

Box FileError(UINT id, const std::string& name) { return {LoadResString(id) + name + "!", MB_ERROR_BOX, 0}; }

Box ErrorText(const std::string& text) { return {text, MB_ERROR_BOX, 0}; }

Box Stored(const std::string& name)
{ return {FormatPlaceholders(LoadResString(IDS_DUMP_STORED), {name}), MB_NOTE_BOX, 0}; }

Box NotANumber() { return {LoadResString(AFX_IDP_PARSE_INT), MB_NOTE_BOX, AFX_IDP_PARSE_INT}; }

Box OutOfRange(int lower, int upper)
{ return Error(AFX_IDP_PARSE_INT_RANGE, {std::to_string(lower), std::to_string(upper)}); }

namespace
{
// The first of the queue, taken out of it; `otherwise` when it is empty.
template <typename T> T TakeFirst(std::deque<T>& queue, T otherwise)
{
    if (!queue.empty())
        otherwise = std::move(queue.front()), queue.pop_front();
    return otherwise;
}
}

UiRecorder::UiRecorder()
{
    SetMessageBoxHook([this](const MessageBoxRequest& request) {
        boxes.push_back(request);
        if (onBox)
            onBox(request);
        return TakeFirst(answers, (request.type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK);
    });
    CFileDialog::SetHook([this](const FileDialogRequest& request) {
        fileDialogs.push_back(request);
        if (onFileDialog)
            onFileDialog(request);
        const std::string path = TakeFirst(files, std::string());
        return FileDialogAnswer{!path.empty(), path};
    });
}

UiRecorder::~UiRecorder()
{
    SetMessageBoxHook(nullptr);
    CFileDialog::SetHook(nullptr);
}
