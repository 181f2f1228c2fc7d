// CMidiDialog's completion action: storing a received dump.
#include "framework/File.h"
#include "framework/FileDialog.h"
#include "framework/MessageBox.h"
#include "framework/SafeSave.h"
#include "framework/Strings.h"
#include "framework/Unicode.h"
#include "history/DumpHistory.h"
#include "midi/MidiDialog.h"
#include "resources/resource.h"

namespace
{
// The longest name, in UTF-16 units, that the drive of `target` takes.
DWORD LongestNameOnDrive(const std::string& target)
{
    wchar_t root[MAX_PATH + 1] = {};
    DWORD longest = 0;
    if (!GetVolumePathNameW(PlatformPath(target).c_str(), root, MAX_PATH + 1) ||
        !GetVolumeInformationW(root, nullptr, 0, nullptr, &longest, nullptr, nullptr, 0) || longest == 0)
        return 255; // what every file system of Windows takes
    return longest;
}
}

// Found before anything is requested, not after minutes of receiving: the dump goes to a new
// file beside the target first, and a read-only target would lose its protection.
BOOL CMidiDialog::CheckSaveTarget(const std::string& target)
{
    const std::string name = FileNamePart(FullPath(target));
    const DWORD longest = LongestNameOnDrive(target);
    if (Widen(name).size() > longest)
    {
        AfxMessageBox(IDS_NAME_TOO_LONG, {DisplayPath(name), std::to_string(longest)}, MB_ERROR_BOX);
        return FALSE;
    }
    const DWORD attributes = GetFileAttributesW(PlatformPath(target).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !ListedUnderWholeName(target))
    {
        // Another file answers to the name: replacing it would destroy it.
        AfxMessageBox(IDS_NAME_NOT_KEPT, {DisplayPath(name)}, MB_ERROR_BOX);
        return FALSE;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    {
        AfxMessageBox(IDS_TARGET_READ_ONLY, {DisplayPath(target)}, MB_ERROR_BOX);
        return FALSE;
    }
    if (!IsWritableTarget(target))
    {
        AfxFileMessageBox(IDS_FILE_OPEN_FAILED, target);
        return FALSE;
    }
    CFile probe;
    std::string probeName;
    if (!CreateTemporaryBeside(target, probe, probeName))
    {
        AfxMessageBox(IDS_FOLDER_REFUSES_FILES, {DisplayPath(FolderPart(FullPath(target)))}, MB_ERROR_BOX);
        return FALSE;
    }
    probe.Abort();
    DeleteFileW(PlatformPath(probeName).c_str());
    return TRUE;
}

// The dump is written to a temporary file beside the target, which replaces the target only
// once every byte is on the disk: a failed save never destroys the previous file. When the
// save fails the dump is kept and the user chooses another place; only an explicit No to
// discarding it loses it. The save works on its own copy of the name, so that nothing done
// while its dialogs are up changes where it writes.
int CMidiDialog::SaveDumpToFile()
{
    // A dump from the device is kept before the user's file is written, so that a failed or
    // discarded save keeps it too (the bank's Save As comes here with rows of a file).
    if (m_completionAction == &CMidiDialog::SaveDumpToFile)
        History().AddReceived(m_dumpBuffer.m_bytes, m_dumpBuffer.m_length);
    m_saving = TRUE;
    std::string* const field = m_targetFile;
    std::string target = *field;
    bool saved = WriteDumpTo(target) != FALSE;
    while (!saved)
    {
        // Opens where the failed target is, with its name, for the user to change one of them.
        CFileDialog choose(FALSE, "syx", FullPath(target).c_str(),
                           OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST, SysExFileFilter);
        choose.m_title = LoadResString(IDS_SAVE_ELSEWHERE_TITLE);
        if (choose.DoModal() == IDOK)
        {
            target = choose.GetPathName();
            *field = target;
            UpdateData(FALSE);
            saved = WriteDumpTo(target) != FALSE;
        }
        else if (AfxMessageBox(IDS_CONFIRM_DISCARD, {std::to_string(DumpToSave().m_length)}, MB_QUESTION_BOX) == IDYES)
        {
            m_saving = FALSE;
            return 0;
        }
    }
    m_saving = FALSE;
    m_completionAction = nullptr;
    m_targetFile = nullptr;
    AfxMessageBox(LoadResString(IDS_DUMP_STORED, {FileNamePart(FullPath(target))}), MB_NOTE_BOX);
    return 1;
}

BOOL CMidiDialog::WriteDumpTo(const std::string& target)
{
    const DumpBuffer& dump = DumpToSave();
    return SaveFileReplacing(target, dump.m_bytes, dump.m_length);
}
