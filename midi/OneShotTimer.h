#pragma once
#include <windows.h>

// Posts a message to a window once, after a given number of milliseconds, with the
// multimedia timer's one-millisecond resolution (a window timer's steps are 10 to 16 ms,
// too coarse for the pause between the messages of a bulk send).
class COneShotTimer
{
public:
    ~COneShotTimer();
    // FALSE when no timer could be had. A timer already running is cancelled first.
    BOOL Start(HWND window, UINT message, UINT milliseconds);
    void Cancel();
    bool IsRunning() const { return m_id != 0; }
    // The window has received the message: the timer is over.
    void Elapsed() { m_id = 0; }

private:
    static void CALLBACK Fire(UINT id, UINT, DWORD_PTR instance, DWORD_PTR, DWORD_PTR);

    UINT m_id = 0;
    HWND m_window = nullptr;
    UINT m_message = 0;
};
