#pragma once
#include <cstddef>
#include <vector>

// Patch archives are often shared as Standard MIDI Files; the bulk send plays the SysEx
// messages such a file holds.
enum class MidiFileError
{
    None,
    NotMidiFile,
    UnsupportedFormat,
    ChunkPastEnd,
    MissingTrack,
    LongNumber,
    RunningStatusWithoutStatus,
    EventPastEnd,
    UnknownEvent,
    UnterminatedSysEx
};

// Recognised by its header whatever the file's name says; a RIFF MIDI file (.rmi: "RIFF",
// "RMID", and the Standard MIDI File as its "data" chunk) counts as the file it holds.
bool IsStandardMidiFile(const unsigned char* data, std::size_t size);

// Every SysEx message of a format 0 or 1 file, all tracks merged in time order (ties: lower
// track first, then file order), as complete F0 ... F7 messages one after the other.
// `messages` is replaced; on error it is left empty and `count` 0. A message split into
// continuation packets comes out whole; a message whose data holds a byte of 0x80 or above
// other than its closing F7 would be cut on the cable, so it is UnterminatedSysEx. A header
// too short to hold format, track count and division is NotMidiFile; chunks after the
// announced tracks are not read. An escape event (F7) that starts with F0 starts a message
// like an F0 event. A file without SysEx gives None and `count` 0.
MidiFileError ReadMidiFileSysEx(const unsigned char* data, std::size_t size,
                                std::vector<unsigned char>& messages, std::size_t& count);
