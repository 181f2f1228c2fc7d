#pragma once
#include <string>

class EmulatedMidiDriver;

// Leaves the emulated device's state in `folder` so that a test driving the program from
// another process can check what reached the device:
//   memory.syx          the device's whole memory, as its bulk dump
//   short-messages.txt  every short message received, one per line, 8 hex digits
//   sysex.txt           every SysEx message received, one per line, hex bytes
// Not from a driver callback: it waits for the driver to be idle.
void RecordDevice(EmulatedMidiDriver& driver, const std::string& folder);
