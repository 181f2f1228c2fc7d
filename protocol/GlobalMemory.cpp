#include "protocol/GlobalMemory.h"

GlobalMemoryApi& GlobalMemoryApi::Current()
{
    static GlobalMemoryApi api{GlobalAlloc, GlobalLock, GlobalReAlloc, GlobalUnlock, GlobalFree};
    return api;
}
