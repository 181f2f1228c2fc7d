#include "framework/SafeSave.h"

#include <cstdio>

#include "framework/MessageBox.h"
#include "framework/Unicode.h"
#include "resources/resource.h"

namespace
{
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
}

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

BOOL ListedUnderWholeName(const std::string& target, const ULONGLONG* size)
{
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(PlatformPath(target).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return FALSE;
    FindClose(search);
    return EntryIsFile(found, FileNamePart(FullPath(target)), size);
}

BOOL SaveFileReplacing(const std::string& target, const void* bytes, std::size_t size)
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
        file.Write(bytes, static_cast<UINT>(size));
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
    const ULONGLONG written = size;
    if (ListedUnderWholeName(target, &written))
        return TRUE;
    // What the move made goes again, under whatever name the file system gave it; a file that
    // was there before stays.
    if (!existed)
        DeleteFileW(PlatformPath(target).c_str());
    AfxMessageBox(IDS_NAME_NOT_KEPT, {DisplayPath(FileNamePart(FullPath(target)))}, MB_ERROR_BOX);
    return FALSE;
}
