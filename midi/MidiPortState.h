#pragma once
#include <windows.h>
#include <mmsystem.h>

#include <atomic>

constexpr unsigned MidiBufferSize = 4096;
constexpr int MidiInputBufferCount = 3;

// The process-wide MIDI state: the chosen ports and device number, the open handles, and
// the fixed, locked buffers every transaction uses (one output, three rotating inputs).
struct MidiPortState
{
    int deviceNumber = 1;
    int inputPort = 0;
    int outputPort = 0;
    // Milliseconds a bulk send waits after each message, so that a device that writes each
    // message to its memory does not drop the next one (0 to 1000).
    int pauseMs = 0;
    HMIDIOUT outputHandle = nullptr;
    HMIDIIN inputHandle = nullptr;

    HGLOBAL outputBlock = nullptr;
    unsigned char* outputBuffer = nullptr;
    MIDIHDR outputHeader{};
    HGLOBAL inputBlocks[MidiInputBufferCount] = {};
    unsigned char* inputBuffers[MidiInputBufferCount] = {};
    MIDIHDR inputHeaders[MidiInputBufferCount] = {};

    // Counts every opening and closing of a port, so that a callback posted for a port
    // that has been closed since is recognised and dropped.
    std::atomic<unsigned> inputOpening{0};
    std::atomic<unsigned> outputOpening{0};
};

MidiPortState& PortState();

// Four 4096-byte movable, zero-filled, locked blocks; the defaults (device 1, ports 0)
// are set only when all four were obtained. Nonzero on success.
int AllocateMidiBuffers();
// Nonzero when all four blocks were freed.
int FreeMidiBuffers();
