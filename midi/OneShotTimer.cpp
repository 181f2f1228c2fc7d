#include "midi/OneShotTimer.h"

#include <mmsystem.h>

COneShotTimer::~COneShotTimer()
{
    Cancel();
}

BOOL COneShotTimer::Start(HWND window, UINT milliseconds)
{
    Cancel();
    m_id = timeSetEvent(milliseconds, 1, Fire, reinterpret_cast<DWORD_PTR>(window),
                        TIME_ONESHOT | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
    return m_id != 0;
}

void COneShotTimer::Cancel()
{
    if (m_id != 0)
        timeKillEvent(m_id);
    m_id = 0;
}

bool COneShotTimer::Elapsed(WPARAM id)
{
    if (m_id == 0 || id != m_id)
        return false;
    m_id = 0;
    return true;
}

void CALLBACK COneShotTimer::Fire(UINT id, UINT, DWORD_PTR window, DWORD_PTR, DWORD_PTR)
{
    PostMessageW(reinterpret_cast<HWND>(window), WM_ONE_SHOT_TIMER, id, 0);
}
