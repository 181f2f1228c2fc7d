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

// The texts that say why a file gives nothing, in the words of the window that reads it: the
// bulk send has nothing to send, the bank window nothing to show.
struct BulkFileRefusals
{
    unsigned empty;    // followed by the file's name
    unsigned damaged;  // %1: the file's name, %2: the reason
    unsigned noSysEx;  // %1: the file's name
};
extern const BulkFileRefusals SendRefusals;
extern const BulkFileRefusals BankRefusals;

// Reads the whole file at once, so that a transfer never waits for the disk. FALSE after
// saying why it gives nothing: it cannot be opened or read, it is empty or too large, or it
// is a MIDI file that is damaged or holds no SysEx.
bool ReadBulkFile(const std::string& fileName, BulkFileContent& content, const BulkFileRefusals& refusals);
