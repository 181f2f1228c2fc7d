#include "framework/File.h"

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
    const size_t separator = path.find_last_of("\\/:");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

CFile::~CFile()
{
    Close();
}

BOOL CFile::Open(const std::string& fileName, UINT flags, DWORD* osError)
{
    Close();
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

    const DWORD disposition = (flags & modeCreate) ? CREATE_ALWAYS : OPEN_EXISTING;
    m_handle = CreateFileA(fileName.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_handle == INVALID_HANDLE_VALUE)
    {
        if (osError != nullptr)
            *osError = GetLastError();
        return FALSE;
    }
    char fullPath[MAX_PATH * 4];
    const DWORD length = GetFullPathNameA(fileName.c_str(), sizeof fullPath, fullPath, nullptr);
    m_path = length > 0 && length < sizeof fullPath ? std::string(fullPath, length) : fileName;
    return TRUE;
}

void CFile::Close()
{
    if (m_handle != INVALID_HANDLE_VALUE)
        CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
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
