#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "framework/Dialog.h"

// The history of every dump, newest first: when, what, where it came from and its size, one
// row each, and what can be done with the selected entry: open it in the bank window, save
// it as a file of the user's, delete it. The status line says what the history found wrong
// or removed since it last said so, else what it holds.
class CHistoryDialog : public CDialog
{
public:
    explicit CHistoryDialog(CDialog* parent = nullptr);

    void OnOpenInBank();
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
    void UpdateButtons();
    // The selected entry's position in the history's list; -1 when none.
    int Selected() const;
    HWND m_list = nullptr;
};
