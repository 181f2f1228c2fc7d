#include "support/Pump.h"

#include <windows.h>

bool PumpUntil(const std::function<bool()>& condition, unsigned timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;)
    {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (condition())
            return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return false;
        const DWORD wait = static_cast<DWORD>(deadline - now < 5 ? deadline - now : 5);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
    }
}

void PostKeyToFocus(UINT message, WPARAM key)
{
    static const HHOOK toFocus = SetWindowsHookExW(WH_GETMESSAGE, [](int code, WPARAM remove, LPARAM lParam) {
        MSG* posted = reinterpret_cast<MSG*>(lParam);
        if (code == HC_ACTION && (posted->message == WM_KEYDOWN || posted->message == WM_KEYUP) && GetFocus() != nullptr)
            posted->hwnd = GetFocus();
        return CallNextHookEx(nullptr, code, remove, lParam);
    }, nullptr, GetCurrentThreadId());
    PostMessageW(GetFocus(), message, key, message == WM_KEYUP ? 0xC0000001 : 1);
}
