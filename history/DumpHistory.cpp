#include "history/DumpHistory.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "framework/File.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "framework/Unicode.h"
#include "protocol/BankIndex.h"
#include "resources/resource.h"

namespace
{
const char* const KindWords[] = {"program", "algorithm", "bulk"};
const char IndexName[] = "index.txt";
const char IndexHeader[] = "SysEx Dump history 1";
constexpr unsigned long long Megabyte = 1024ull * 1024ull;
constexpr std::size_t StampLength = 19;  // "20261208-223143-123"
const char BeforeRestoreSuffix[] = "_before-restore.syx";

// "20261208-223143-123_program-005_received.syx", "…_bulk_before-slot-005.syx",
// "…_bulk_before-restore.syx": sorting the names sorts the entries by time.
std::string EntryName(const SYSTEMTIME& when, HistoryKind kind, int number, int overwrittenSlot)
{
    char name[96];
    int length = std::snprintf(name, sizeof name, "%04u%02u%02u-%02u%02u%02u-%03u_%s", when.wYear, when.wMonth,
                               when.wDay, when.wHour, when.wMinute, when.wSecond, when.wMilliseconds,
                               KindWords[static_cast<int>(kind)]);
    if (kind != HistoryKind::Bulk)
        length += std::snprintf(name + length, sizeof name - length, "-%03d", number);
    if (overwrittenSlot == ReceivedFromDevice)
        std::snprintf(name + length, sizeof name - length, "_received.syx");
    else if (overwrittenSlot == BeforeBulkRestore)
        std::snprintf(name + length, sizeof name - length, "%s", BeforeRestoreSuffix);
    else
        std::snprintf(name + length, sizeof name - length, "_before-slot-%03d.syx", overwrittenSlot);
    return name;
}

bool ParseEntryName(const std::string& name, HistoryEntry& entry)
{
    unsigned year, month, day, hour, minute, second, milliseconds;
    char kind[16] = {};
    int consumed = 0;
    if (std::sscanf(name.c_str(), "%4u%2u%2u-%2u%2u%2u-%3u_%15[a-z]%n", &year, &month, &day, &hour, &minute, &second,
                    &milliseconds, kind, &consumed) != 8)
        return false;
    const auto word = std::find_if(std::begin(KindWords), std::end(KindWords),
                                   [&](const char* known) { return std::strcmp(known, kind) == 0; });
    if (word == std::end(KindWords))
        return false;
    entry = HistoryEntry{};
    entry.kind = static_cast<HistoryKind>(word - std::begin(KindWords));
    std::string rest = name.substr(static_cast<std::size_t>(consumed));
    int used = 0;
    if (entry.kind != HistoryKind::Bulk &&
        (std::sscanf(rest.c_str(), "-%3d%n", &entry.number, &used) != 1 || entry.number < 1))
        return false;
    rest.erase(0, static_cast<std::size_t>(used));
    if (rest == BeforeRestoreSuffix)
        entry.overwrittenSlot = BeforeBulkRestore;
    else if (rest != "_received.syx" &&
             (std::sscanf(rest.c_str(), "_before-slot-%3d.syx%n", &entry.overwrittenSlot, &used) != 1 ||
              entry.overwrittenSlot < 1 || rest.size() != static_cast<std::size_t>(used)))
        return false;
    entry.fileName = name;
    entry.when = {static_cast<WORD>(year),   static_cast<WORD>(month),  0, static_cast<WORD>(day),
                  static_cast<WORD>(hour),   static_cast<WORD>(minute), static_cast<WORD>(second),
                  static_cast<WORD>(milliseconds)};
    return true;
}

std::wstring Join(const std::string& folder, const std::string& name)
{
    return Widen(folder + (folder.empty() || folder.back() == '\\' ? "" : "\\") + name);
}

// Writes `size` bytes to a new temporary file and renames it to `target`; the error of the
// first step that failed, 0 on success. `replace`: whether a file of that name is replaced.
DWORD WriteAtomically(const std::wstring& target, const void* data, std::size_t size, bool replace)
{
    const std::wstring temporary = target + L".tmp";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    DWORD written = 0;
    const bool whole = WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size &&
                       FlushFileBuffers(file);
    const DWORD error = whole ? 0 : (GetLastError() ? GetLastError() : ERROR_DISK_FULL);
    CloseHandle(file);
    if (whole &&
        MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0)))
        return 0;
    const DWORD moveError = whole ? GetLastError() : error;
    DeleteFileW(temporary.c_str());
    return moveError;
}

bool NewestFirst(const HistoryEntry& a, const HistoryEntry& b)
{
    return a.fileName > b.fileName;
}
}

std::string CDumpHistory::DefaultFolder()
{
    wchar_t* documents = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &documents)))
        folder = Narrow(documents);
    CoTaskMemFree(documents);
    return (folder.empty() ? std::string(".") : folder) + "\\SysEx Dump history";
}

void CDumpHistory::SetFolder(const std::string& folder)
{
    // A folder typed relative would follow the current folder, which every file dialog moves.
    m_folder = folder.empty() ? folder : FullPath(folder);
    m_loaded = false;
    m_writeFailureSaid = false;
}

void CDumpHistory::SetLimitMegabytes(int megabytes)
{
    m_limitMegabytes = std::clamp(megabytes, 1, MaxLimitMegabytes);
}

BOOL CDumpHistory::AddReceived(const unsigned char* data, std::size_t size)
{
    const std::vector<BankMessage> messages = IndexBank(data, size);
    const bool single = messages.size() == 1;
    if (single && messages.front().kind == BankMessageKind::ProgramDump)
        return Add(HistoryKind::Program, messages.front().number, ReceivedFromDevice, data, size);
    if (single && messages.front().kind == BankMessageKind::AlgorithmDump)
        return Add(HistoryKind::Algorithm, messages.front().number, ReceivedFromDevice, data, size);
    return Add(HistoryKind::Bulk, 0, ReceivedFromDevice, data, size);
}

BOOL CDumpHistory::Add(HistoryKind kind, int number, int overwrittenSlot, const unsigned char* data, std::size_t size)
{
    // Read again: another instance of the program may have written to the folder since, and
    // its entries count towards the limit and belong in the index written below.
    m_loaded = false;
    Load();
    const int made = SHCreateDirectoryExW(nullptr, Widen(m_folder).c_str(), nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS)
    {
        ReportWriteFailure();
        return FALSE;
    }
    SYSTEMTIME when;
    GetLocalTime(&when);
    HistoryEntry entry;
    // Each entry is newer than the newest before it (two dumps within one millisecond, a clock
    // set back), so that the names keep the order the dumps came in.
    while (true)
    {
        ParseEntryName(EntryName(when, kind, number, overwrittenSlot), entry);
        const bool newest = m_entries.empty() || entry.fileName.compare(0, StampLength, m_entries.front().fileName,
                                                                        0, StampLength) > 0;
        const DWORD error = newest ? WriteAtomically(Join(m_folder, entry.fileName), data, size, false) : ERROR_FILE_EXISTS;
        if (error == 0)
            break;
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
        {
            ReportWriteFailure();
            return FALSE;
        }
        // Past the newest entry in one step, however far the clock was set back.
        FILETIME stamp;
        SystemTimeToFileTime(newest ? &when : &m_entries.front().when, &stamp);
        ULARGE_INTEGER ticks{{stamp.dwLowDateTime, stamp.dwHighDateTime}};
        ticks.QuadPart += 10000;
        stamp = {ticks.LowPart, ticks.HighPart};
        FileTimeToSystemTime(&stamp, &when);
    }
    entry.size = size;
    m_entries.insert(m_entries.begin(), entry);
    std::sort(m_entries.begin(), m_entries.end(), NewestFirst);
    KeepWithinLimit();
    WriteIndex();
    return TRUE;
}

const std::vector<HistoryEntry>& CDumpHistory::Entries()
{
    Load();
    return m_entries;
}

std::string CDumpHistory::PathOf(const HistoryEntry& entry) const
{
    return Narrow(Join(m_folder, entry.fileName));
}

BOOL CDumpHistory::Remove(const std::string& fileName)
{
    Load();
    const auto found = std::find_if(m_entries.begin(), m_entries.end(),
                                    [&](const HistoryEntry& entry) { return entry.fileName == fileName; });
    if (found == m_entries.end())
        return FALSE;
    if (!DeleteFileW(Join(m_folder, fileName).c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        return FALSE;
    m_entries.erase(found);
    WriteIndex();
    return TRUE;
}

std::string CDumpHistory::TakeNotices()
{
    std::string text;
    for (const std::string& notice : m_notices)
        text += (text.empty() ? "" : " ") + notice;
    m_notices.clear();
    return text;
}

// The folder says which entries exist; the index is checked against it. A damaged index (or
// one whose sizes are not the files') is rebuilt from the files, an entry whose file has gone is said and dropped, and a file the
// index lacks (its write was killed before the index was) is taken in.
void CDumpHistory::Load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    if (m_folder.empty())
        m_folder = DefaultFolder();
    m_entries = ScanFolder();
    HANDLE file = CreateFileW(Join(m_folder, IndexName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        if (!m_entries.empty())
            WriteIndex();
        return;
    }
    std::string text(std::min<DWORD>(GetFileSize(file, nullptr), 64 * 1024 * 1024), '\0');
    DWORD read = 0;
    ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(file);
    text.resize(read);
    bool damaged = text.compare(0, std::strlen(IndexHeader) + 1, std::string(IndexHeader) + "\n") != 0;
    std::vector<std::string> missing;
    std::size_t listedPresent = 0;
    for (std::size_t start = text.find('\n') + 1; !damaged && start < text.size();)
    {
        const std::size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        const std::size_t tab = line.find('\t');
        HistoryEntry listed;
        char* sizeEnd = nullptr;
        const unsigned long long size = tab == std::string::npos ? 0 : std::strtoull(line.c_str() + tab + 1, &sizeEnd, 10);
        if (end == std::string::npos || !ParseEntryName(line.substr(0, tab), listed) || sizeEnd == nullptr ||
            sizeEnd == line.c_str() + tab + 1 || *sizeEnd)
        {
            damaged = true;
            break;
        }
        const auto found = std::find_if(m_entries.begin(), m_entries.end(),
                                        [&](const HistoryEntry& entry) { return entry.fileName == listed.fileName; });
        if (found == m_entries.end())
            missing.push_back(listed.fileName);
        else if (found->size != size)
            damaged = true;
        else
            ++listedPresent;
    }
    if (damaged)
        Notice(LoadResString(IDS_HISTORY_INDEX_REBUILT));
    if (!missing.empty())
        Notice(LoadResString(IDS_HISTORY_FILES_MISSING, {std::to_string(missing.size()), missing.front()}));
    if (damaged || !missing.empty() || listedPresent != m_entries.size())
        WriteIndex();
}

std::vector<HistoryEntry> CDumpHistory::ScanFolder()
{
    std::vector<HistoryEntry> entries;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(Join(m_folder, "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return entries;
    // Once per folder and run: later, a temporary file may be another instance's write under way.
    const bool removeLeftovers = m_leftoversRemovedFrom != m_folder;
    m_leftoversRemovedFrom = m_folder;
    do
    {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const std::string name = Narrow(found.cFileName);
        HistoryEntry entry;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0)
        {
            if (removeLeftovers)
                DeleteFileW(Join(m_folder, name).c_str());  // left by a write that was killed
        }
        else if (ParseEntryName(name, entry))
        {
            entry.size = (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
            entries.push_back(entry);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(entries.begin(), entries.end(), NewestFirst);
    return entries;
}

void CDumpHistory::WriteIndex()
{
    std::string text = std::string(IndexHeader) + "\n";
    for (const HistoryEntry& entry : m_entries)
        text += entry.fileName + "\t" + std::to_string(entry.size) + "\n";
    if (WriteAtomically(Join(m_folder, IndexName), text.data(), text.size(), true) != 0)
        ReportWriteFailure();
}

// The newest entry stays even when it alone is larger than the limit.
void CDumpHistory::KeepWithinLimit()
{
    unsigned long long total = 0;
    std::size_t kept = 0;
    while (kept < m_entries.size() && (kept == 0 || total + m_entries[kept].size <= m_limitMegabytes * Megabyte))
        total += m_entries[kept++].size;
    const std::size_t removed = m_entries.size() - kept;
    if (removed == 0)
        return;
    for (std::size_t i = kept; i < m_entries.size(); ++i)
        DeleteFileW(Join(m_folder, m_entries[i].fileName).c_str());
    m_entries.resize(kept);
    Notice(LoadResString(IDS_HISTORY_OLD_REMOVED, {std::to_string(removed), std::to_string(m_limitMegabytes)}));
}

void CDumpHistory::Notice(const std::string& text)
{
    m_notices.push_back(text);
}

void CDumpHistory::ReportWriteFailure()
{
    if (m_writeFailureSaid)
        return;
    m_writeFailureSaid = true;
    const std::string text = LoadResString(IDS_HISTORY_WRITE_FAILED, {DisplayPath(m_folder)});
    Notice(text);
    AfxMessageBox(text, MB_ERROR_BOX);
}

CDumpHistory& History()
{
    static CDumpHistory history;
    return history;
}
