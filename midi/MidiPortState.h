#pragma once
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "protocol/WireClock.h"

constexpr unsigned MidiBufferSize = 4096;
// Input buffers queued at once. Wine's driver drops the bytes that find no buffer queued and
// hands each buffer back at the end of a message, so the queue must outlast a busy window
// thread: 32 buffers hold a stream of the device's shortest messages (100 bytes, 32 ms each on
// the wire) for a second while nothing is queued again.
constexpr int MidiInputBufferCount = 32;
// The smallest buffer a message may meet between the program and the cable: Linux's
// snd-seq-midi output buffer, 4096 bytes unless raised, which silently drops what does not fit.
constexpr unsigned LineBufferSize = 4096;
// What the bulk send keeps free of it: the clock counts from just before a message is handed
// over, so it runs early by however long the driver takes to queue the bytes, and an interface
// may run a little slower than 31,250 baud (1 % of the buffer is 41 bytes). 256 bytes are 82 ms.
constexpr unsigned LineBufferMargin = 256;

// A port as the user chose it: its name and which of the ports of that name it is (0 for the
// first). The driver numbers its ports anew whenever one comes or goes, so a number is never
// kept: the choice is looked up in the driver's list at each opening.
struct MidiPortId
{
    std::string name;
    int occurrence = 0;
    bool operator==(const MidiPortId& other) const { return name == other.name && occurrence == other.occurrence; }
};

// The process-wide MIDI state: the chosen ports and device number, the open handles, and
// the fixed, locked buffers every transaction uses (one output, rotating inputs).
struct MidiPortState
{
    int deviceNumber = 1;
    // None chosen (a first start) means the first port.
    std::optional<MidiPortId> inputPort;
    std::optional<MidiPortId> outputPort;
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

    // Where the line is, by the program's own reckoning; it outlives every transaction.
    WireClock wireClock;
};

MidiPortState& PortState();
// What a window reads of the settings: the device number and the pause after each message.
int DeviceNumber();
int PauseMs();
// What MIDI Setup shows and changes.
struct MidiChoices
{
    int deviceNumber;
    std::optional<MidiPortId> inputPort;
    std::optional<MidiPortId> outputPort;
    int pauseMs;
};
MidiChoices CurrentMidiChoices();
void ApplyMidiChoices(const MidiChoices& choices);

// Four 4096-byte movable, zero-filled, locked blocks; the defaults (device 1, first ports)
// are set only when all four were obtained. Nonzero on success.
int AllocateMidiBuffers();
// Nonzero when all four blocks were freed.
int FreeMidiBuffers();

// A refusal whose message has been shown already (a chosen port that is not connected).
constexpr UINT RefusalShown = UINT(-1);

// The wire clock's byte time (0: an infinitely fast line, for a driver at full speed).
void SetWireByteTime(std::int64_t microseconds);
// The wire clock's time: microseconds, steady.
std::int64_t LineNow();
// Milliseconds from now until `time` on the wire clock, rounded up: a timer is never early.
UINT MillisecondsUntil(std::int64_t time);
// True when the program runs under Wine, whose MIDI driver hands each message to the Linux
// kernel at once, wraps every piece of a message in F0...F7 and loses what its buffer cannot
// hold. Found at run time; SetUnderWine(0 or 1) overrides it, -1 finds it again.
bool UnderWine();
void SetUnderWine(int underWine);
