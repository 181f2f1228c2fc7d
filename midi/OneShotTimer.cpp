#include "midi/OneShotTimer.h"

#include <mmsystem.h>

COneShotTimer::~COneShotTimer()
{
    Cancel();
}

BOOL COneShotTimer::Start(HWND window, UINT message, UINT milliseconds)
{
    Cancel();
    m_window = window;
    m_message = message;
    m_id = timeSetEvent(milliseconds, 1, Fire, reinterpret_cast<DWORD_PTR>(this), TIME_ONESHOT | TIME_CALLBACK_FUNCTION);
    return m_id != 0;
}

void COneShotTimer::Cancel()
{
    if (m_id != 0)
        timeKillEvent(m_id);
    m_id = 0;
}

// On the multimedia timer's thread: it only posts, the window does the work.
void CALLBACK COneShotTimer::Fire(UINT id, UINT, DWORD_PTR instance, DWORD_PTR, DWORD_PTR)
{
    const auto* timer = reinterpret_cast<const COneShotTimer*>(instance);
    PostMessageW(timer->m_window, timer->m_message, id, 0);
}
