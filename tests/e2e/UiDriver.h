#pragma once
#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

// Drives the dialogs of another process from outside, as a user would: finds its windows
// by their controls or titles, types into edits, presses buttons and answers message boxes.
//
// Presses are posted, never sent: a press that opens a modal box would otherwise block the
// driver until somebody closed that box. Text is set and read with sent messages, which the
// platform copies across the process boundary.
class UiDriver
{
public:
    using Milliseconds = std::chrono::milliseconds;

    struct MessageBoxInfo
    {
        HWND window = nullptr;
        std::string text;
    };

    explicit UiDriver(DWORD processId, Milliseconds timeout = std::chrono::seconds(20));

    // True once `condition` holds; false when the time-out (by default the driver's) passes first.
    bool WaitUntil(const std::function<bool()>& condition, Milliseconds timeout = Milliseconds::zero()) const;

    // A visible top-level dialog of the process that satisfies `predicate`, or null.
    HWND FindDialog(const std::function<bool(HWND)>& predicate) const;
    HWND WaitForDialog(const std::function<bool(HWND)>& predicate) const;
    HWND WaitForDialogWithControl(int controlId) const;
    // True once the window is destroyed or hidden (a modal run hides its dialog first).
    bool WaitUntilGone(HWND window) const;

    // A message box of the process and its text; a null window when none comes.
    MessageBoxInfo WaitForMessageBox() const;

    std::string Text(HWND dialog, int controlId) const;
    bool SetText(HWND dialog, int controlId, const std::string& text) const;
    // The command a click on the button sends, posted; in a message box, IDOK, IDYES, IDNO...
    void Press(HWND dialog, int controlId) const;
    // A key pressed in a control after clicking into it: the control gets the keyboard, then
    // the key is posted as the keyboard would (the program's own loop hands it to the dialog
    // manager).
    void Key(HWND dialog, int controlId, WPARAM key) const;
    // A system-menu command, posted (the about entry, for one).
    void SystemCommand(HWND window, UINT command) const;

    static bool HasControl(HWND dialog, int controlId);
    static std::string Title(HWND window);
    // A standard message box is made of nothing but its text, its icon and standard
    // buttons; every dialog of the program has at least one control of its own besides.
    static bool IsMessageBox(HWND window);

private:
    std::string WindowText(HWND window) const;

    DWORD m_processId;
    Milliseconds m_timeout;
};
