#include "UiDriver.h"

#include "framework/Unicode.h"

#include <vector>

namespace
{
constexpr int MessageBoxTextId = 0xFFFF;
constexpr UINT CrossProcessTimeoutMs = 5000;

std::string ClassName(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::vector<HWND> Children(HWND parent)
{
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

int ControlId(HWND control)
{
    // Templates store "no identifier" as -1: compare the low 16 bits only.
    return GetDlgCtrlID(control) & 0xFFFF;
}

bool IsTextStatic(HWND control)
{
    const LONG_PTR style = GetWindowLongPtrA(control, GWL_STYLE);
    return ClassName(control) == "Static" && (style & SS_TYPEMASK) != SS_ICON;
}
}

UiDriver::UiDriver(DWORD processId, Milliseconds timeout) : m_processId(processId), m_timeout(timeout) {}

bool UiDriver::WaitUntil(const std::function<bool()>& condition, Milliseconds timeout) const
{
    // Another process's windows signal nothing this process could wait on, so the state is
    // polled, briefly, up to the deadline.
    const auto deadline = std::chrono::steady_clock::now() + (timeout.count() > 0 ? timeout : m_timeout);
    while (!condition())
    {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        Sleep(10);
    }
    return true;
}

HWND UiDriver::FindDialog(const std::function<bool(HWND)>& predicate) const
{
    // The top-level windows of the dialog class that belong to the driven process.
    for (HWND window = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, L"#32770", nullptr))
    {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == m_processId && IsWindowVisible(window) && predicate(window))
            return window;
    }
    return nullptr;
}

HWND UiDriver::WaitForDialog(const std::function<bool(HWND)>& predicate) const
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindDialog(predicate)) != nullptr; });
    return found;
}

HWND UiDriver::WaitForDialogWithControl(int controlId) const
{
    return WaitForDialog([controlId](HWND window) { return HasControl(window, controlId); });
}

bool UiDriver::WaitUntilGone(HWND window) const
{
    return WaitUntil([window] { return !IsWindow(window) || !IsWindowVisible(window); });
}

UiDriver::MessageBoxInfo UiDriver::WaitForMessageBox() const
{
    MessageBoxInfo box;
    box.window = WaitForDialog(IsMessageBox);
    if (box.window == nullptr)
        return box;
    for (HWND child : Children(box.window))
        if (ControlId(child) == MessageBoxTextId && IsTextStatic(child))
            box.text = WindowText(child);
    return box;
}

std::string UiDriver::Text(HWND dialog, int controlId) const
{
    HWND control = GetDlgItem(dialog, controlId);
    return control != nullptr ? WindowText(control) : std::string();
}

bool UiDriver::SetText(HWND dialog, int controlId, const std::string& text) const
{
    HWND control = GetDlgItem(dialog, controlId);
    if (control == nullptr)
        return false;
    const std::wstring wide = Widen(text);
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()), SMTO_ABORTIFHUNG,
                               CrossProcessTimeoutMs, &result) != 0 &&
           result == TRUE;
}

void UiDriver::Press(HWND dialog, int controlId) const
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, controlId)));
}

void UiDriver::Key(HWND dialog, int controlId, WPARAM key) const
{
    // A user clicks into the field before typing: the program acts on the field that has the
    // keyboard, wherever the steps before left it.
    HWND control = GetDlgItem(dialog, controlId);
    DWORD_PTR result = 0;
    SendMessageTimeoutW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE, SMTO_ABORTIFHUNG,
                        CrossProcessTimeoutMs, &result);
    PostMessageA(control, WM_KEYDOWN, key, 1);
}

void UiDriver::SystemCommand(HWND window, UINT command) const { PostMessageA(window, WM_SYSCOMMAND, command, 0); }

bool UiDriver::HasControl(HWND dialog, int controlId) { return GetDlgItem(dialog, controlId) != nullptr; }

std::string UiDriver::Title(HWND window)
{
    // The system answers from the title it keeps: no message has to reach the other process.
    wchar_t title[256] = {};
    GetWindowTextW(window, title, 256);
    return Narrow(title);
}

bool UiDriver::IsMessageBox(HWND window)
{
    if (ClassName(window) != "#32770")
        return false;
    bool hasText = false;
    for (HWND child : Children(window))
    {
        const int id = ControlId(child);
        const std::string type = ClassName(child);
        if (type == "Button" && id >= IDOK && id <= IDCONTINUE)
            continue;
        if (type == "Static" && !IsTextStatic(child))
            continue;  // the icon
        if (id != MessageBoxTextId || !IsTextStatic(child))
            return false;
        hasText = true;
    }
    return hasText;
}

std::string UiDriver::WindowText(HWND window) const
{
    // The wide messages: the narrow ones lose characters on their way between processes.
    DWORD_PTR length = 0;
    if (SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, CrossProcessTimeoutMs, &length) == 0)
        return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                            CrossProcessTimeoutMs, &copied) == 0)
        return {};
    text.resize(copied);
    return Narrow(text);
}
