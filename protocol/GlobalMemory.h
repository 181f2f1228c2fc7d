#pragma once
#include <windows.h>

// The platform's global-memory calls, replaceable so that tests can make any of them fail.
struct GlobalMemoryApi
{
    HGLOBAL (WINAPI* alloc)(UINT flags, SIZE_T bytes);
    LPVOID (WINAPI* lock)(HGLOBAL block);
    HGLOBAL (WINAPI* reAlloc)(HGLOBAL block, SIZE_T bytes, UINT flags);
    BOOL (WINAPI* unlock)(HGLOBAL block);
    HGLOBAL (WINAPI* free)(HGLOBAL block);

    static GlobalMemoryApi& Current();
};
