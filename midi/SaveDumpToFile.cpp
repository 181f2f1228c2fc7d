// CMidiDialog's completion action: storing a received dump.
#include <cstdio>

#include "framework/File.h"
#include "framework/FileDialog.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "framework/Unicode.h"
#include "history/DumpHistory.h"
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

// Replaces the target with the temporary file. ReplaceFileW keeps what the target holds besides
// its bytes (security, attributes, creation time, alternate streams); a move is used only where
// it cannot work, and then never overwrites a file that appeared in the meantime.
BOOL ReplaceTarget(const std::wstring& temporary, const std::wstring& target)
{
    if (ReplaceFileW(target.c_str(), temporary.c_str(), nullptr, 0, nullptr, nullptr))
        return TRUE;
    DWORD flags = MOVEFILE_WRITE_THROUGH;
    switch (GetLastError())
    {
    case ERROR_FILE_NOT_FOUND:            // there is no target: a new file
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT: // the target was removed, the new file kept its own name
        break;
    case ERROR_INVALID_FUNCTION: // the file system cannot replace (some network shares and
    case ERROR_NOT_SUPPORTED:    // foreign file systems): the target is written anew, as any
    case ERROR_CALL_NOT_IMPLEMENTED: // program that saves a file there would do
        flags |= MOVEFILE_REPLACE_EXISTING;
        break;
    default: // e.g. ERROR_UNABLE_TO_REMOVE_REPLACED: another program holds it; both stay as they were
        return FALSE;
    }
    return MoveFileExW(temporary.c_str(), target.c_str(), flags);
}

// TRUE when the folder lists a file under the whole name of `target` (holding `size` bytes when
// given). A file system may keep a name it cannot hold under another (Linux under Wine cuts a
// name at 255 bytes) while opening, moving and deleting by the whole name all reach that file.
BOOL ListedUnderWholeName(const std::string& target, const ULONGLONG* size = nullptr)
{
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(PlatformPath(target).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return FALSE;
    FindClose(search);
    return EntryIsFile(found, FileNamePart(FullPath(target)), size);
}

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
    CFile file;
    std::string temporary;
    if (!CreateTemporaryBeside(target, file, temporary))
    {
        AfxFileMessageBox(IDS_FILE_OPEN_FAILED, target);
        return FALSE;
    }
    try
    {
        const DumpBuffer& dump = DumpToSave();
        file.Write(dump.m_bytes, dump.m_length);
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
    const BOOL existed = GetFileAttributesW(PlatformPath(target).c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!ReplaceTarget(PlatformPath(temporary), PlatformPath(target)))
    {
        DeleteFileW(PlatformPath(temporary).c_str());
        AfxFileMessageBox(IDS_FILE_OPEN_FAILED, target);
        return FALSE;
    }
    const ULONGLONG written = DumpToSave().m_length;
    if (ListedUnderWholeName(target, &written))
        return TRUE;
    // What the move made goes again, under whatever name the file system gave it; a file that
    // was there before stays.
    if (!existed)
        DeleteFileW(PlatformPath(target).c_str());
    AfxMessageBox(IDS_NAME_NOT_KEPT, {DisplayPath(FileNamePart(FullPath(target)))}, MB_ERROR_BOX);
    return FALSE;
}
