#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

enum class HistoryKind
{
    Program,
    Algorithm,
    Bulk
};

// Where an entry came from: received from the device (0), read back from slot N of the
// device before a send overwrote it (N), or the device's whole memory received before a bulk
// send overwrote it.
constexpr int ReceivedFromDevice = 0;
constexpr int BeforeBulkRestore = -1;

struct HistoryEntry
{
    std::string fileName;  // in the history's folder; it carries everything below but the size
    SYSTEMTIME when{};     // local time
    HistoryKind kind = HistoryKind::Bulk;
    int number = 0;           // the program or algorithm; 0 for a bulk dump
    int overwrittenSlot = 0;  // ReceivedFromDevice, BeforeBulkRestore, or the slot it was backed up from
    unsigned long long size = 0;
};

// Every dump the program got from the device, one .syx file each in a folder the user
// chooses, newest kept up to a size. The file's name holds when, what and where from, so
// that the index (a list of the files with their sizes, for a quick start) can always be
// rebuilt from the files. Files and index are written to a temporary name first and then
// renamed, so that a killed write leaves the previous state. Nothing here ever stops the
// program: a problem becomes a notice for the history window, and a history that cannot be
// written is said once per run (and folder) in a box.
class CDumpHistory
{
public:
    static constexpr int DefaultLimitMegabytes = 50;
    static constexpr int MaxLimitMegabytes = 100000;

    // The folder the program uses when the user has chosen none: under the user's Documents.
    static std::string DefaultFolder();

    // The folder is read (again) at the next use; empty: the default folder.
    void SetFolder(const std::string& folder);
    const std::string& Folder() const { return m_folder; }
    void SetLimitMegabytes(int megabytes);
    int LimitMegabytes() const { return m_limitMegabytes; }
    // Whether a send that overwrites a slot or an algorithm first asks the device for it and
    // keeps it here.
    void SetBackupBeforeOverwrite(bool backup) { m_backupBeforeOverwrite = backup; }
    bool BackupBeforeOverwrite() const { return m_backupBeforeOverwrite; }

    // Keeps one dump; FALSE when it could not be written (said as described above).
    BOOL Add(HistoryKind kind, int number, int overwrittenSlot, const unsigned char* data, std::size_t size);
    // Keeps a dump received from the device, named by what its bytes say it is.
    BOOL AddReceived(const unsigned char* data, std::size_t size);
    // Newest first.
    const std::vector<HistoryEntry>& Entries();
    std::string PathOf(const HistoryEntry& entry) const;
    BOOL Remove(const std::string& fileName);
    // What went wrong or was removed since the last call, one sentence each; then forgotten.
    std::string TakeNotices();

private:
    void Load();
    // The files of the folder whose names are entries; leftovers of killed writes are removed.
    std::vector<HistoryEntry> ScanFolder();
    void WriteIndex();
    void KeepWithinLimit();
    void Notice(const std::string& text);
    void ReportWriteFailure();

    std::string m_folder;
    int m_limitMegabytes = DefaultLimitMegabytes;
    bool m_backupBeforeOverwrite = true;
    bool m_loaded = false;
    bool m_writeFailureSaid = false;
    std::vector<HistoryEntry> m_entries;  // newest first
    std::vector<std::string> m_notices;
    std::string m_leftoversRemovedFrom;  // the folder whose killed writes' files were removed
};

// The program's one history.
CDumpHistory& History();
