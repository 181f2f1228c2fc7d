#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "framework/AnchorLayout.h"
#include "midi/MidiDialog.h"

// The history of every dump, newest first: when, what, where it came from and its size, one
// row each, and what can be done with the selected entry: send it back to where it came from
// (backed up first, as every send that overwrites), open it in the bank window, compare it
// with what the device holds there, save it as a file of the user's, delete it. The status
// line says what the history found wrong or removed since it last said so, else what it
// holds, or what a restore sent.
class CHistoryDialog : public CMidiDialog
{
public:
    explicit CHistoryDialog(CDialog* parent = nullptr);

    void EnableControls(BOOL enable) override;
    void OnRestore();
    void OnOpenInBank();
    void OnCompare();
    void OnSaveAs();
    void OnDelete();

    // Opens a file in the bank window (the main window's part: the bank talks MIDI).
    std::function<void(const std::string&)> m_openInBank;

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(UINT id, UINT notifyCode) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    void ShowEntries();
    void ShowStatus(const std::string& notices);
    // The rows and the status line as the history is now.
    void Refresh();
    void UpdateButtons();
    // The selected entry's position in the history's list; -1 when none.
    int Selected() const;
    // The selected single dump's bytes, checked as a send checks a file; FALSE after saying
    // why there are none.
    BOOL SelectedDump(HistoryEntry& entry, std::vector<unsigned char>& bytes);
    // The entries as the rows show them: what the user selected, even when the history has
    // changed since (a send that backed a slot up, the size limit).
    std::vector<HistoryEntry> m_shown;
    HWND m_list = nullptr;
    CAnchorLayout m_anchors;
};
