#pragma once
#include <cstddef>

// What a bulk file holds, shown before it is sent. The file is read as the MIDI input would
// read it, byte by byte:
// - outside a message, F0 starts one and every other byte counts as outside;
// - inside a message, a byte below 0x80 is data, F7 completes the message, F0 ends it as
//   unterminated and starts a new one, and any other byte of 0x80 or above ends it as
//   unterminated and itself counts as outside;
// - a message still open at the end of the file is unterminated.
// A message's own bytes (its F0, data and closing F7) never count as outside.
struct BulkFileSummary
{
    std::size_t completeMessages = 0;
    std::size_t unterminatedMessages = 0;
    std::size_t bytesOutsideMessages = 0;
    // A Standard MIDI File is read as such, not as raw SysEx bytes.
    bool midiFile = false;
};

BulkFileSummary SummarizeBulkFile(const unsigned char* data, std::size_t size);
