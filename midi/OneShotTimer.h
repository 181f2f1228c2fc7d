#pragma once
#include <windows.h>

// Posted by a COneShotTimer; wParam is the timer's id.
constexpr UINT WM_ONE_SHOT_TIMER = WM_APP + 0x101;

// Posts WM_ONE_SHOT_TIMER to a window once, after a given number of milliseconds, with the
// multimedia timer's one-millisecond resolution (a window timer's steps are 10 to 16 ms,
// too coarse for the pause between the messages of a bulk send).
class COneShotTimer
{
public:
    ~COneShotTimer();
    // FALSE when no timer could be had. A timer already running is cancelled first.
    BOOL Start(HWND window, UINT milliseconds);
    // Once it returns, the timer's callback has finished and will not run.
    void Cancel();
    bool IsRunning() const { return m_id != 0; }
    // The window has received WM_ONE_SHOT_TIMER with `id`: true, and the timer is over, when it
    // is this timer's and it still runs; false for a late message of one cancelled or replaced.
    bool Elapsed(WPARAM id);

private:
    // On the multimedia timer's thread; it reads nothing but what it was given.
    static void CALLBACK Fire(UINT id, UINT, DWORD_PTR window, DWORD_PTR, DWORD_PTR);

    UINT m_id = 0;
};
