// CMidiDialog's completion action: storing a received dump.
#include "framework/File.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "midi/MidiDialog.h"
#include "resources/resource.h"

// The dump is written to a temporary file beside the target, which replaces the target
// only once every byte is on disk: a failed save never destroys the previous file.
int CMidiDialog::SaveDumpToFile()
{
    const std::string target = *m_targetFile;
    const std::string temporary = target + ".part";

    CFile file;
    if (!file.Open(temporary, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive))
    {
        AfxFileMessageBox(IDS_FILE_OPEN_FAILED, target);
        return 0;
    }
    try
    {
        file.Write(m_dumpBuffer.m_bytes, m_dumpBuffer.m_length);
    }
    catch (const CFileException&)
    {
        file.Close();
        DeleteFileA(temporary.c_str());
        AfxFileMessageBox(IDS_FILE_WRITE_FAILED, FileNamePart(target));
        return 0;
    }
    file.Close();

    if (!MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    {
        DeleteFileA(temporary.c_str());
        AfxFileMessageBox(IDS_FILE_OPEN_FAILED, target);
        return 0;
    }

    m_completionAction = nullptr;
    m_targetFile = nullptr;
    char fullPath[MAX_PATH * 4];
    const DWORD length = GetFullPathNameA(target.c_str(), sizeof fullPath, fullPath, nullptr);
    const std::string stored = length > 0 && length < sizeof fullPath ? std::string(fullPath, length) : target;
    AfxMessageBox(FormatPlaceholders(LoadResString(IDS_DUMP_STORED), {FileNamePart(stored)}), MB_NOTE_BOX);
    return 1;
}
