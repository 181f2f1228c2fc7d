#pragma once
#include <string>

#include "midi/MidiLog.h"

// The log's columns: time, direction, port, what it is, size, first bytes.
constexpr int MidiLogColumnCount = 6;

std::string MidiLogCell(const MidiLogRow& row, int column);
// The row as a line of a report: its cells separated by tabs, no line end.
std::string MidiLogLine(const MidiLogRow& row);
