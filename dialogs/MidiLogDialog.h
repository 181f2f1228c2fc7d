#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "framework/AnchorLayout.h"
#include "framework/Dialog.h"
#include "midi/MidiLog.h"

// The MIDI log window: modeless, beside the main window and its dialogs. It shows the
// process's log in a virtual list refreshed from a timer, so that recording never waits for
// the window; the selected rows can be copied, saved as text, or (the received messages)
// saved as a .syx file. It can be resized: the list takes what it grows by.
class CMidiLogDialog : public CDialog
{
public:
    CMidiLogDialog();

    void OnCopy();
    void OnSave();
    void OnSaveSyx();
    // Brings the list up to the log's rows (the timer does it ten times a second).
    void Refresh();

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    BOOL OnCommand(UINT id, UINT notifyCode) override;
    void OnTimer(UINT_PTR id) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    std::vector<MidiLogRow> SelectedRows() const;
    std::string SelectedText() const;

    HWND m_list = nullptr;
    CAnchorLayout m_anchors;
    std::size_t m_shownFirst = 0;
    std::size_t m_shownCount = 0;
    static constexpr std::size_t NoRow = ~std::size_t{0};
    std::size_t m_cachedIndex = NoRow;
    MidiLogRow m_cachedRow;
};
