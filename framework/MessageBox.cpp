#include "framework/MessageBox.h"

#include "framework/Dialog.h"
#include "framework/Strings.h"
#include "framework/Unicode.h"
#include "framework/WinApp.h"

namespace
{
MessageBoxHook g_hook;
}

void SetMessageBoxHook(MessageBoxHook hook)
{
    g_hook = std::move(hook);
}

int AfxMessageBox(const std::string& text, UINT type, UINT helpContext)
{
    DiscardTypedAhead();
    if (g_hook)
        if (const int answer = g_hook(MessageBoxRequest{text, type, helpContext}))
            return answer;

    CWinApp* app = AfxGetApp();
    HWND owner = AfxGetActiveOwner();
    const std::wstring caption = Widen(app != nullptr ? app->Title() : std::string());
    const std::wstring wideText = Widen(text);

    MSGBOXPARAMSW params{};
    params.cbSize = sizeof params;
    params.hwndOwner = owner;
    params.lpszText = wideText.c_str();
    params.lpszCaption = caption.c_str();
    params.dwStyle = type;
    params.dwContextHelpId = helpContext;
    return MessageBoxIndirectW(&params);
}

int AfxMessageBox(UINT promptId, UINT type, UINT helpContext)
{
    return AfxMessageBox(LoadResString(promptId), type, helpContext == UINT(-1) ? promptId : helpContext);
}

int AfxMessageBox(UINT promptId, std::initializer_list<std::string> inserts, UINT type)
{
    return AfxMessageBox(LoadResString(promptId, inserts), type, promptId);
}

int AfxFileMessageBox(UINT textId, const std::string& fileName)
{
    return AfxMessageBox(LoadResString(textId) + DisplayPath(fileName) + "!", MB_ERROR_BOX);
}

std::string DisplayPath(const std::string& path, std::size_t maximum)
{
    std::wstring wide = Widen(path);
    if (wide.size() <= maximum)
        return path;
    // Keep the start (drive, first folders) and most of the end (the name); never cut a
    // character that takes two UTF-16 units.
    std::size_t head = maximum / 3;
    std::size_t tail = maximum - head - 1;
    if (IS_HIGH_SURROGATE(wide[head - 1]))
        --head;
    std::size_t tailStart = wide.size() - tail;
    if (IS_LOW_SURROGATE(wide[tailStart]))
        ++tailStart;
    return Narrow(wide.substr(0, head) + L"\x2026" + wide.substr(tailStart));
}
