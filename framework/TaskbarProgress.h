#pragma once
#include <windows.h>

struct ITaskbarList3;

// The progress of a long transfer on the program's taskbar button (Windows 7 and later;
// where the taskbar offers no progress, nothing happens).
class CTaskbarProgress
{
public:
    CTaskbarProgress() = default;
    ~CTaskbarProgress();
    CTaskbarProgress(const CTaskbarProgress&) = delete;
    CTaskbarProgress& operator=(const CTaskbarProgress&) = delete;

    // The button of the top-level window that owns `window`.
    void Attach(HWND window);
    void Show(ULONGLONG done, ULONGLONG total);
    // A transfer whose end nobody knows yet.
    void ShowBusy();
    void Clear();

    // Tests stand in for the shell's taskbar object (nullptr: the shell's again).
    static void SetFactory(ITaskbarList3* (*create)());

private:
    ITaskbarList3* m_taskbar = nullptr;
    HWND m_button = nullptr;
    bool m_comStarted = false;
};
