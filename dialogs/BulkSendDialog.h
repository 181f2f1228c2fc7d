#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/BulkFile.h"
#include "framework/TaskbarProgress.h"
#include "midi/MidiDialog.h"

// Whether Send first receives the device's memory into the history (the box's state, kept
// between runs). Off until the program's settings are read, which turn it on by default, so
// that a send run without them (a test, the bench) sends only what it is given.
bool& BackUpBeforeBulkSend();

// Sends a bulk file message by message through the sender, which paces, splits and pauses;
// the dialog says what the file holds before Send, shows progress and time left while it goes,
// and afterwards how many messages went out whole and which did not. With the box checked,
// Send first backs the device's memory up into the history. Cancel ends the transfer
// once the message on its way has gone out whole. A Standard MIDI File is sent as the SysEx
// messages it holds. Under Wine a last message without F7 is left out, since Wine would end it
// with one; progress and counts are of what is sent.
class CBulkSendDialog : public CMidiDialog
{
public:
    explicit CBulkSendDialog(CDialog* parent = nullptr);

    void OnSendEnded(const SendResult& result) override;

    std::string m_fileName;
    // When not empty, sent instead of the file's content (the bank window's selected rows).
    std::vector<unsigned char> m_bytes;
    // Says in the opening window's status line what went out whole.
    std::function<void(const std::string&)> m_showStatus;
    BOOL m_sending = FALSE;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnTimer(UINT_PTR id) override;
    void OnDestroy() override;

private:
    // Receives what the device holds into the history before the file overwrites it; FALSE
    // when nothing may be sent: the user cancelled, or would not send without a backup.
    BOOL BackUpDevice();
    // The file's messages, each up to and including its F7 (or to the file's end); FALSE after
    // reporting why there is nothing to send.
    BOOL LoadFile();
    // Enter and the focus go to Cancel; FALSE, as the dialog initialisation returns then.
    BOOL MakeCancelTheDefault();
    // What is sent, shown before anything is: the file's (or the bank's selection's) messages
    // but the one left out (its position, 0: none). With a warning, Cancel is the default.
    void ShowSummary(const BulkFileContent& content, bool selection, std::size_t leftOut);
    void ShowProgress(const SendProgress& progress);
    // How many messages went out whole and which did not: in the status line, and in a box when
    // some did not or may not have arrived.
    void ReportResult(const SendResult& result);

    std::vector<std::vector<unsigned char>> m_messages;
    // Positions (from 1) of the messages that Linux drops unless its buffer is raised.
    std::vector<std::size_t> m_longPositions;
    unsigned m_fileSize = 0;
    HWND m_sentControl = nullptr;
    ULONGLONG m_startedAt = 0;
    CTaskbarProgress m_taskbar;
};
