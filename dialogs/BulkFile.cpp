#include "dialogs/BulkFile.h"

#include <limits>

#include "framework/File.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "protocol/MidiFile.h"
#include "resources/resource.h"

const BulkFileRefusals SendRefusals{IDS_FILE_EMPTY, IDS_MIDI_FILE_DAMAGED, IDS_MIDI_FILE_NO_SYSEX};
const BulkFileRefusals BankRefusals{IDS_BANK_FILE_EMPTY, IDS_BANK_MIDI_FILE_DAMAGED, IDS_BANK_MIDI_FILE_NO_SYSEX};

namespace
{
bool TakeMidiFileMessages(const std::string& fileName, BulkFileContent& content, const BulkFileRefusals& refusals)
{
    std::vector<unsigned char> messages;
    const MidiFileError error = ReadMidiFileSysEx(content.bytes.data(), content.bytes.size(), messages,
                                                  content.midiMessages);
    if (error == MidiFileError::None && content.midiMessages == 0)
    {
        AfxMessageBox(refusals.noSysEx, {DisplayPath(FileNamePart(fileName))}, MB_ERROR_BOX);
        return false;
    }
    if (error != MidiFileError::None)
    {
        const UINT reason = IDS_MIDI_FILE_REASON_BASE + static_cast<UINT>(error);
        AfxMessageBox(refusals.damaged, {DisplayPath(FileNamePart(fileName)), LoadResString(reason)},
                      MB_ERROR_BOX);
        return false;
    }
    content.bytes.swap(messages);
    content.midiFile = true;
    return true;
}
}

bool ReadBulkFile(const std::string& fileName, BulkFileContent& content, const BulkFileRefusals& refusals)
{
    content = BulkFileContent{};
    CFile file;
    if (!file.Open(fileName, CFile::modeRead | CFile::shareExclusive))
    {
        AfxFileMessageBox(IDS_FILE_OPEN_FAILED, fileName);
        return false;
    }
    try
    {
        const ULONGLONG length = file.GetLength();
        if (length == 0)
        {
            AfxFileMessageBox(refusals.empty, file.GetFileName());
            return false;
        }
        // Positions and counts are 32-bit, and the last position equals the file's length.
        if (length > std::numeric_limits<unsigned>::max())
        {
            AfxMessageBox(IDS_OUT_OF_MEMORY, MB_ERROR_BOX);
            return false;
        }
        content.bytes.resize(static_cast<std::size_t>(length));
        if (file.Read(content.bytes.data(), static_cast<UINT>(length)) != length)
            throw CFileException(ERROR_HANDLE_EOF, file.GetFilePath());
    }
    catch (const CFileException&)
    {
        AfxFileMessageBox(IDS_FILE_READ_FAILED, file.GetFileName());
        return false;
    }
    return !IsStandardMidiFile(content.bytes.data(), content.bytes.size()) || TakeMidiFileMessages(fileName, content, refusals);
}
