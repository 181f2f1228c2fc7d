#pragma once
#include <string>

#include "framework/TaskbarProgress.h"
#include "midi/MidiDialog.h"

// How long the data must have stopped, after a complete message, before a backup ends by
// itself. Tests shorten it.
constexpr UINT DefaultBackupSilenceMs = 3000;
void SetBackupSilenceMs(UINT milliseconds);

// Requests a bulk dump and collects every byte that arrives, counting them, until the
// user stores them (OK) or discards them (Cancel).
//
// As the backup before a bulk send, it stores nothing itself: it ends with OK once the data
// has stopped after a complete message (or the user's Store), and the bulk send keeps what
// it collected.
class CBulkReceiveDialog : public CMidiDialog
{
public:
    explicit CBulkReceiveDialog(CDialog* parent = nullptr);

    void OnMidiIn(HMIDIIN handle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2) override;

    std::string m_fileName;
    BOOL m_backup = FALSE;
    // Set when the user cancelled, as against the device not answering or a port refusing.
    BOOL m_cancelled = FALSE;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnTimer(UINT_PTR id) override;

private:
    BOOL AppendBlock(const void* bytes, unsigned length);
    // Appends a block that arrived, and notes when; FALSE after saying it could not be kept.
    BOOL TakeBlock(const void* bytes, unsigned length);
    void TakeBackHeldBytes();
    void ShowRate();
    // The data has stopped long enough after a complete message: the device has sent it all.
    bool DataHasStopped() const;
    // The count as it stands; unless `now`, not again within CountRefreshMs.
    void ShowCount(bool now);
    // Counts the messages completed since the last count: all, programs, algorithms.
    void CountMessages();

    HWND m_countControl = nullptr;
    BOOL m_awaitingFirstBlock = FALSE;
    ULONGLONG m_firstBlockAt = 0;
    ULONGLONG m_lastBlockAt = 0;
    ULONGLONG m_countShownAt = 0;
    unsigned m_firstBlockBytes = 0;
    CTaskbarProgress m_taskbar;
    unsigned m_counted = 0;
    unsigned m_messageStart = 0;
    unsigned m_messageCounts[3] = {};
};
