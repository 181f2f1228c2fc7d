#include "midi/MidiPortState.h"

#include <chrono>

#include "protocol/GlobalMemory.h"

namespace
{
int g_underWine = -1;

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

int DeviceNumber()
{
    return PortState().deviceNumber;
}

int PauseMs()
{
    return PortState().pauseMs;
}

MidiChoices CurrentMidiChoices()
{
    const MidiPortState& state = PortState();
    return {state.deviceNumber, state.inputPort, state.outputPort, state.pauseMs};
}

void ApplyMidiChoices(const MidiChoices& choices)
{
    MidiPortState& state = PortState();
    state.deviceNumber = choices.deviceNumber;
    state.inputPort = choices.inputPort;
    state.outputPort = choices.outputPort;
    state.pauseMs = choices.pauseMs;
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
    state.inputPort.reset();
    state.outputPort.reset();
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

void SetWireByteTime(std::int64_t microseconds)
{
    PortState().wireClock.SetByteTime(microseconds);
}

std::int64_t LineNow()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

UINT MillisecondsUntil(std::int64_t time)
{
    const std::int64_t wait = time - LineNow();
    return wait > 0 ? static_cast<UINT>((wait + 999) / 1000) : 0;
}

bool UnderWine()
{
    if (g_underWine < 0)
    {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        g_underWine = ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr ? 1 : 0;
    }
    return g_underWine != 0;
}

void SetUnderWine(int underWine)
{
    g_underWine = underWine;
}
