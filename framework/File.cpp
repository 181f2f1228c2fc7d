#include "framework/File.h"

#include "framework/Unicode.h"

namespace
{
std::function<DWORD(CFile::Operation, const std::string&)> g_faultHook;
}

void CFile::SetFaultHook(std::function<DWORD(Operation, const std::string& path)> hook)
{
    g_faultHook = std::move(hook);
}

void CFile::ThrowOnFault(Operation operation) const
{
    if (!g_faultHook)
        return;
    if (const DWORD error = g_faultHook(operation, m_path))
        throw CFileException(error, m_path);
}

std::string FileNamePart(const std::string& path)
{
    return path.substr(FolderPart(path).size());
}

std::string FolderPart(const std::string& path)
{
    const size_t separator = path.find_last_of("\\/:");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

CFile::~CFile()
{
    Abort();
}

BOOL CFile::Open(const std::string& fileName, UINT flags, DWORD* osError)
{
    Abort();
    DWORD access = GENERIC_READ;
    if ((flags & 3) == modeWrite)
        access = GENERIC_WRITE;
    else if ((flags & 3) == modeReadWrite)
        access = GENERIC_READ | GENERIC_WRITE;

    DWORD share = 0;
    switch (flags & 0x70)
    {
    case shareDenyWrite:
        share = FILE_SHARE_READ;
        break;
    case shareDenyRead:
        share = FILE_SHARE_WRITE;
        break;
    case shareDenyNone:
        share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        break;
    default:
        share = 0;
        break;
    }

    DWORD disposition = OPEN_EXISTING;
    if (flags & modeCreate)
        disposition = CREATE_ALWAYS;
    if (flags & modeCreateNew)
        disposition = CREATE_NEW;
    const std::wstring wideName = PlatformPath(fileName);
    const DWORD fault =
        g_faultHook && disposition != OPEN_EXISTING ? g_faultHook(Operation::Create, FullPath(fileName)) : 0;
    if (fault == 0)
        m_handle = CreateFileW(wideName.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_handle == INVALID_HANDLE_VALUE)
    {
        if (osError != nullptr)
            *osError = fault != 0 ? fault : GetLastError();
        return FALSE;
    }
    m_path = FullPath(fileName);
    return TRUE;
}

void CFile::Close()
{
    if (m_handle == INVALID_HANDLE_VALUE)
        return;
    const BOOL closed = CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    if (!closed)
        throw CFileException(GetLastError(), m_path);
}

void CFile::Abort()
{
    if (m_handle != INVALID_HANDLE_VALUE)
        CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
}

void CFile::Flush()
{
    ThrowOnFault(Operation::Flush);
    if (!FlushFileBuffers(m_handle))
        throw CFileException(GetLastError(), m_path);
}

ULONGLONG CFile::GetLength() const
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(m_handle, &size))
        throw CFileException(GetLastError(), m_path);
    return static_cast<ULONGLONG>(size.QuadPart);
}

UINT CFile::Read(void* buffer, UINT count)
{
    ThrowOnFault(Operation::Read);
    DWORD read = 0;
    if (!ReadFile(m_handle, buffer, count, &read, nullptr))
        throw CFileException(GetLastError(), m_path);
    return read;
}

void CFile::Write(const void* buffer, UINT count)
{
    ThrowOnFault(Operation::Write);
    DWORD written = 0;
    if (!WriteFile(m_handle, buffer, count, &written, nullptr))
        throw CFileException(GetLastError(), m_path);
    if (written != count)
        throw CFileException(ERROR_DISK_FULL, m_path);
}

std::string CFile::GetFileName() const
{
    return FileNamePart(m_path);
}

BOOL EntryIsFile(const WIN32_FIND_DATAW& entry, const std::string& name, const ULONGLONG* size)
{
    const std::wstring wide = Widen(name);
    if (size && ((ULONGLONG(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow) != *size)
        return FALSE;
    return CompareStringOrdinal(entry.cFileName, -1, wide.c_str(), -1, TRUE) == CSTR_EQUAL ||
           CompareStringOrdinal(entry.cAlternateFileName, -1, wide.c_str(), -1, TRUE) == CSTR_EQUAL;
}

BOOL IsWritableTarget(const std::string& path)
{
    const std::wstring name = PlatformPath(path);
    const DWORD everyone = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, everyone, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND)
        file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return FALSE;
    CloseHandle(file);
    return TRUE;
}

std::wstring PlatformPath(const std::string& path)
{
    // Always the full path: Wine's ReplaceFileW fails (error 267) on a name without folder.
    const std::wstring full = Widen(FullPath(path));
    if (full.size() < MAX_PATH || full.compare(0, 4, L"\\\\?\\") == 0)
        return full;
    if (full.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC" + full.substr(1);
    return L"\\\\?\\" + full;
}

std::string FullPath(const std::string& path)
{
    const std::wstring wide = Widen(path);
    const DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (length == 0)
        return path;
    std::wstring full(length, L'\0');
    const DWORD copied = GetFullPathNameW(wide.c_str(), length, &full[0], nullptr);
    if (copied == 0 || copied >= length)
        return path;
    full.resize(copied);
    return Narrow(full);
}
