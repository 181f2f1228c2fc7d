#pragma once
#include <windows.h>

#include "protocol/GlobalMemory.h"

// A growable, zero-filled byte buffer in one block of movable global memory that stays
// locked while it exists. Grows linearly: by the grow step, or by the appended length when
// that is larger. Results: nonzero on success, 0 on failure.
class DumpBuffer
{
public:
    int Init(unsigned capacity, unsigned growBy);
    int Reset();
    int Append(const void* bytes, unsigned length);
    void Free();

    HGLOBAL m_block = nullptr;
    unsigned char* m_bytes = nullptr;
    unsigned m_growBy = 0;
    unsigned m_initialGrowBy = 0;
    unsigned m_capacity = 0;
    unsigned m_initialCapacity = 0;
    unsigned m_length = 0;
};
