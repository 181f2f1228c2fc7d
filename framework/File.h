#pragma once
#include <windows.h>

#include <functional>
#include <string>

// Thrown by CFile when reading, writing or sizing fails; caught where the file is used.
class CFileException
{
public:
    CFileException(DWORD osError, std::string fileName) : m_lOsError(osError), m_strFileName(std::move(fileName)) {}
    DWORD m_lOsError;
    std::string m_strFileName;
};

// A file opened with the framework's mode flags.
class CFile
{
public:
    enum OpenFlags : UINT
    {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeCreate = 0x1000,
        modeCreateNew = 0x2000,  // only a file that does not exist yet
    };

    CFile() = default;
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // FALSE when the file cannot be opened; `osError` receives the reason.
    BOOL Open(const std::string& fileName, UINT flags, DWORD* osError = nullptr);
    // Throws when the platform reports that the file could not be closed cleanly.
    void Close();
    // Closes, ignoring errors (after a failure, and on destruction).
    void Abort();
    // Throws unless everything written has reached the disk.
    void Flush();
    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }

    ULONGLONG GetLength() const;
    UINT Read(void* buffer, UINT count);
    void Write(const void* buffer, UINT count);

    // The full path as the platform resolved it, and its last part (after the last
    // backslash, slash or colon).
    const std::string& GetFilePath() const { return m_path; }
    std::string GetFileName() const;

    // Tests make creating, reading or writing fail: the hook returns an OS error code (0: no
    // fault). Create stands for a folder where no new file may be made.
    enum class Operation { Read, Write, Flush, Create };
    static void SetFaultHook(std::function<DWORD(Operation, const std::string& path)> hook);

private:
    void ThrowOnFault(Operation operation) const;

    HANDLE m_handle = INVALID_HANDLE_VALUE;
    std::string m_path;
};

// The last part of a path: after the last backslash, slash or colon.
std::string FileNamePart(const std::string& path);
// The folder of a path, with its trailing separator ("" for a bare name).
std::string FolderPart(const std::string& path);
// The full path as the platform resolves it (the path itself when it cannot).
std::string FullPath(const std::string& path);
// TRUE when a file can be written at `path`: an existing file opens for writing (it is not
// read-only or held by another program), or a new one can be made (the folder exists, the
// name is valid). Nothing is changed either way.
BOOL IsWritableTarget(const std::string& path);
// TRUE when a folder's entry is the file named `name` (no folder part): listed under that whole
// name or under it as its short 8.3 name, letter case aside as Windows compares names, and,
// when `size` is given, holding that many bytes.
BOOL EntryIsFile(const WIN32_FIND_DATAW& entry, const std::string& name, const ULONGLONG* size = nullptr);
// The path for every file call of the program: the full path, and one longer than MAX_PATH
// gets the prefix that lifts the limit.
std::wstring PlatformPath(const std::string& path);
