#include "protocol/DumpBuffer.h"

#include <cstring>
#include <limits>

int DumpBuffer::Init(unsigned capacity, unsigned growBy)
{
    GlobalMemoryApi& memory = GlobalMemoryApi::Current();
    m_bytes = nullptr;
    m_capacity = 0;
    m_length = 0;
    m_block = memory.alloc(GMEM_MOVEABLE | GMEM_ZEROINIT, capacity);
    if (m_block == nullptr)
        return 0;
    m_bytes = static_cast<unsigned char*>(memory.lock(m_block));
    if (m_bytes == nullptr)
        return 0;
    m_initialCapacity = m_capacity = capacity;
    m_initialGrowBy = m_growBy = growBy;
    m_length = 0;
    return 1;
}

int DumpBuffer::Reset()
{
    Free();
    return Init(m_initialCapacity, m_initialGrowBy);
}

int DumpBuffer::Append(const void* bytes, unsigned length)
{
    if (length == 0)
        return 1;
    // No block, or an enlarged block that could not be locked: refuse until Reset.
    if (m_bytes == nullptr)
        return 0;
    if (length > m_capacity - m_length)
    {
        const unsigned step = length < m_growBy ? m_growBy : length;
        if (step > std::numeric_limits<unsigned>::max() - m_capacity)
            return 0;
        const unsigned newCapacity = m_capacity + step;
        GlobalMemoryApi& memory = GlobalMemoryApi::Current();
        memory.unlock(m_block);
        HGLOBAL grown = memory.reAlloc(m_block, newCapacity, GMEM_MOVEABLE | GMEM_ZEROINIT);
        if (grown == nullptr)
        {
            // The old block is intact; lock it again where it now lies.
            m_bytes = static_cast<unsigned char*>(memory.lock(m_block));
            return 0;
        }
        m_block = grown;
        m_bytes = static_cast<unsigned char*>(memory.lock(m_block));
        if (m_bytes == nullptr)
            return 0;
        m_capacity = newCapacity;
    }
    std::memcpy(m_bytes + m_length, bytes, length);
    m_length += length;
    return 1;
}

void DumpBuffer::Free()
{
    if (m_block == nullptr)
        return;
    GlobalMemoryApi& memory = GlobalMemoryApi::Current();
    memory.unlock(m_block);
    memory.free(m_block);
    m_block = nullptr;
    m_bytes = nullptr;
    m_capacity = 0;
    m_length = 0;
}
