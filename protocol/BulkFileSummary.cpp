#include "protocol/BulkFileSummary.h"

#include "protocol/MidiFile.h"
#include "protocol/SysExMessages.h"

BulkFileSummary SummarizeBulkFile(const unsigned char* data, std::size_t size)
{
    BulkFileSummary summary;
    summary.midiFile = IsStandardMidiFile(data, size);
    bool inMessage = false;
    for (std::size_t i = 0; i < size; ++i)
    {
        const unsigned char byte = data[i];
        if (!inMessage)
        {
            if (byte == SysEx::Start)
                inMessage = true;
            else
                ++summary.bytesOutsideMessages;
        }
        else if (byte == SysEx::End)
        {
            ++summary.completeMessages;
            inMessage = false;
        }
        else if (byte == SysEx::Start)
        {
            ++summary.unterminatedMessages;
        }
        else if (byte >= 0x80)
        {
            ++summary.unterminatedMessages;
            ++summary.bytesOutsideMessages;
            inMessage = false;
        }
    }
    if (inMessage)
        ++summary.unterminatedMessages;
    return summary;
}
