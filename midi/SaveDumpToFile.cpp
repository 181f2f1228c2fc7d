// CMidiDialog's completion action: storing a received dump.
#include <cstdio>

#include "framework/File.h"
#include "framework/FileDialog.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "midi/MidiDialog.h"
#include "resources/resource.h"

namespace
{
// A file of the target's folder that did not exist before, so that no other file is ever
// overwritten, and with a short name, so that a target near the length limit still works.
BOOL CreateTemporaryBeside(const std::string& target, CFile& file, std::string& name)
{
    const std::string folder = FolderPart(target);
    const unsigned seed = GetTickCount() ^ GetCurrentProcessId();
    for (unsigned attempt = 0; attempt < 100; ++attempt)
    {
        char unique[16];
        std::snprintf(unique, sizeof unique, "~%04X.tmp", (seed + attempt) & 0xFFFF);
        name = folder + unique;
        DWORD error = 0;
        if (file.Open(name, CFile::modeCreateNew | CFile::modeWrite | CFile::shareExclusive, &error))
            return TRUE;
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return FALSE;
    }
    return FALSE;
}
}

// The dump is written to a temporary file beside the target, which replaces the target only
// once every byte is on the disk: a failed save never destroys the previous file. When the
// save fails the dump is kept and the user chooses another place; only an explicit No to
// discarding it loses it.
int CMidiDialog::SaveDumpToFile()
{
    bool saved = WriteDumpTo(*m_targetFile) != FALSE;
    while (!saved)
    {
        CFileDialog choose(FALSE, "syx", FileNamePart(*m_targetFile).c_str(),
                           OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST, SysExFileFilter);
        choose.m_title = LoadResString(IDS_SAVE_ELSEWHERE_TITLE);
        if (choose.DoModal() == IDOK)
        {
            *m_targetFile = choose.GetPathName();
            UpdateData(FALSE);
            saved = WriteDumpTo(*m_targetFile) != FALSE;
        }
        else if (AfxMessageBox(IDS_CONFIRM_DISCARD, {std::to_string(m_dumpBuffer.m_length)},
                               MB_QUESTION_BOX | MB_DEFBUTTON2) == IDYES)
        {
            return 0;
        }
    }
    const std::string stored = FileNamePart(FullPath(*m_targetFile));
    m_completionAction = nullptr;
    m_targetFile = nullptr;
    AfxMessageBox(LoadResString(IDS_DUMP_STORED, {stored}), MB_NOTE_BOX);
    return 1;
}

BOOL CMidiDialog::WriteDumpTo(const std::string& target)
{
    CFile file;
    std::string temporary;
    if (!CreateTemporaryBeside(target, file, temporary))
    {
        AfxFileMessageBox(IDS_FILE_OPEN_FAILED, target);
        return FALSE;
    }
    try
    {
        file.Write(m_dumpBuffer.m_bytes, m_dumpBuffer.m_length);
        file.Flush();
        file.Close();
    }
    catch (const CFileException&)
    {
        file.Abort();
        DeleteFileW(PlatformPath(temporary).c_str());
        AfxFileMessageBox(IDS_FILE_WRITE_FAILED, FileNamePart(target));
        return FALSE;
    }
    if (!MoveFileExW(PlatformPath(temporary).c_str(), PlatformPath(target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    {
        DeleteFileW(PlatformPath(temporary).c_str());
        AfxFileMessageBox(IDS_FILE_OPEN_FAILED, target);
        return FALSE;
    }
    return TRUE;
}
