#include "dialogs/MidiLogText.h"

#include <cstdio>

#include "framework/Strings.h"
#include "midi/MidiDialog.h"
#include "protocol/BankIndex.h"
#include "protocol/HexText.h"
#include "protocol/SysExMessages.h"
#include "resources/resource.h"

namespace
{
constexpr std::size_t ShownBytes = 16;

// A message is named as the bank window names it; an error reply also gives its codes.
std::string MessageKind(const MidiLogRow& row)
{
    const BankMessage message = ClassifyMessage(row.bytes.data(), row.bytes.size());
    if (message.kind == BankMessageKind::ErrorReply)
        return LoadResString(IDS_LOG_ERROR_REPLY,
                             {std::to_string(ErrorReplyStringId(row.bytes.data(), row.bytes.size()) -
                                             IDS_DEVICE_ERROR_BASE)});
    char command[8];
    std::snprintf(command, sizeof command, "%02X", message.command);
    return LoadResString(IDS_BANK_KIND_BASE + static_cast<int>(message.kind),
                         {message.kind == BankMessageKind::DeviceMessage ? command : std::to_string(message.number)});
}

std::string EventText(const MidiLogRow& row)
{
    switch (row.event)
    {
    case MidiLogEvent::LongMessage: return WithDumpText(MessageKind(row), row.bytes.data(), row.bytes.size());
    case MidiLogEvent::ShortMessage:
        if (row.bytes.size() == 2 && (row.bytes[0] & 0xF0) == 0xC0)
            return LoadResString(IDS_LOG_PROGRAM_CHANGE, {std::to_string(row.bytes[1] + 1)});
        [[fallthrough]];
    default: return LoadResString(IDS_LOG_EVENT_BASE + static_cast<int>(row.event));
    }
}

std::string FirstBytes(const MidiLogRow& row)
{
    return FirstBytesHex(row.bytes.data(), row.bytes.size(), ShownBytes);
}
}

std::string MidiLogCell(const MidiLogRow& row, int column)
{
    switch (column)
    {
    case 0: return std::to_string(row.milliseconds);
    case 1: return LoadResString(row.input ? IDS_LOG_IN : IDS_LOG_OUT);
    case 2: return row.port;
    case 3: return EventText(row);
    case 4: return row.size > 0 ? std::to_string(row.size) : "";
    default: return FirstBytes(row);
    }
}

std::string MidiLogLine(const MidiLogRow& row)
{
    std::string line = MidiLogCell(row, 0);
    for (int column = 1; column < MidiLogColumnCount; ++column)
        line += "\t" + MidiLogCell(row, column);
    return line;
}
