#pragma once
#include <cstddef>
#include <string>
#include <vector>

// What a bulk file gives to send or to show: its bytes, or for a Standard MIDI File the SysEx
// messages it holds, one after another.
struct BulkFileContent
{
    std::vector<unsigned char> bytes;
    bool midiFile = false;
    std::size_t midiMessages = 0;  // SysEx messages of a MIDI file
};

// Reads the whole file at once, so that a transfer never waits for the disk. FALSE after
// saying why it gives nothing to send: it cannot be opened or read, it is empty or too large,
// or it is a MIDI file that is damaged or holds no SysEx.
bool ReadBulkFile(const std::string& fileName, BulkFileContent& content);
