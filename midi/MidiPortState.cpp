#include "midi/MidiPortState.h"

#include "protocol/GlobalMemory.h"

namespace
{
bool AllocateLocked(HGLOBAL& block, unsigned char*& bytes)
{
    GlobalMemoryApi& memory = GlobalMemoryApi::Current();
    block = memory.alloc(GMEM_MOVEABLE | GMEM_ZEROINIT, MidiBufferSize);
    if (block == nullptr)
        return false;
    bytes = static_cast<unsigned char*>(memory.lock(block));
    return bytes != nullptr;
}

bool FreeLocked(HGLOBAL& block, unsigned char*& bytes)
{
    if (block == nullptr)
        return true;
    GlobalMemoryApi& memory = GlobalMemoryApi::Current();
    memory.unlock(block);
    if (memory.free(block) != nullptr)
        return false;
    block = nullptr;
    bytes = nullptr;
    return true;
}
}

MidiPortState& PortState()
{
    static MidiPortState state;
    return state;
}

int AllocateMidiBuffers()
{
    MidiPortState& state = PortState();
    for (int i = 0; i < MidiInputBufferCount; ++i)
        if (!AllocateLocked(state.inputBlocks[i], state.inputBuffers[i]))
            return 0;
    if (!AllocateLocked(state.outputBlock, state.outputBuffer))
        return 0;
    state.deviceNumber = 1;
    state.inputPort = 0;
    state.outputPort = 0;
    return 1;
}

int FreeMidiBuffers()
{
    MidiPortState& state = PortState();
    for (int i = 0; i < MidiInputBufferCount; ++i)
        if (!FreeLocked(state.inputBlocks[i], state.inputBuffers[i]))
            return 0;
    return FreeLocked(state.outputBlock, state.outputBuffer) ? 1 : 0;
}
