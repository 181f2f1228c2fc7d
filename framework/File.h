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
    };

    CFile() = default;
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // FALSE when the file cannot be opened; `osError` receives the reason.
    BOOL Open(const std::string& fileName, UINT flags, DWORD* osError = nullptr);
    void Close();
    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }

    ULONGLONG GetLength() const;
    UINT Read(void* buffer, UINT count);
    void Write(const void* buffer, UINT count);

    // The full path as the platform resolved it, and its last part (after the last
    // backslash, slash or colon).
    const std::string& GetFilePath() const { return m_path; }
    std::string GetFileName() const;

    // Tests make reads or writes fail: the hook returns an OS error code (0: no fault).
    enum class Operation { Read, Write };
    static void SetFaultHook(std::function<DWORD(Operation, const std::string& path)> hook);

private:
    void ThrowOnFault(Operation operation) const;

    HANDLE m_handle = INVALID_HANDLE_VALUE;
    std::string m_path;
};

// The last part of a path: after the last backslash, slash or colon.
std::string FileNamePart(const std::string& path);
