#pragma once
#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "framework/AnchorLayout.h"
#include "midi/MidiDialog.h"
#include "protocol/BankIndex.h"

// The bank window's size and column widths in pixels, kept with the settings; 0: the
// template's.
struct BankWindowLayout
{
    static constexpr int ColumnCount = 6;
    int width = 0;
    int height = 0;
    int columns[ColumnCount] = {};
};

// The messages of a bulk file (or of a Standard MIDI File), one row each, and what can be
// done with the selected ones: send one program to a slot, send them as a bulk send does,
// save them as a file of their own, compare one dump with the device. One transaction at a
// time, as in the main window; nothing goes out without the user's action.
class CBankDialog : public CMidiDialog
{
public:
    explicit CBankDialog(CDialog* parent = nullptr);

    void EnableControls(BOOL enable) override;
    void OnSendToSlot();
    void OnSend();
    void OnSaveAs();
    void OnCompare();

    std::string m_fileName;
    BankWindowLayout* m_layout = nullptr;
    // Send to slot compares the slot with what was sent, as Send program does.
    bool m_compareAfterSend = false;
    // Says in the main window's status line what went out, as Send program does.
    std::function<void(const std::string&)> m_showStatus;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnCommand(UINT id, UINT notifyCode) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void OnDestroy() override;

private:
    BOOL LoadFile();
    void ShowSummary();
    void SetUpList();
    void FormatCell(NMLVDISPINFOW& info);
    // Shows only the rows whose kind or text holds what Find holds, in any letter case.
    void ApplyFind();
    // The selected rows in file order, as positions in the file.
    std::vector<std::size_t> SelectedRows() const;
    // The one selected row (its position in the file) when it is of the kinds given; -1 otherwise.
    int SingleRowOf(BankMessageKind first, BankMessageKind second) const;
    void UpdateButtons();
    std::vector<unsigned char> RowBytes(const std::vector<std::size_t>& rows) const;
    std::string RowName(std::size_t row) const;
    std::string KindText(const BankMessage& message) const;

    std::vector<unsigned char> m_bytes;
    std::vector<BankMessage> m_index;
    std::vector<std::string> m_texts;      // each row's DumpText
    std::vector<std::size_t> m_shownRows;  // the list's rows: positions in m_index
    std::string m_kindFormats[6];
    std::string m_saveTarget;
    HWND m_list = nullptr;
    CAnchorLayout m_anchors;
};
