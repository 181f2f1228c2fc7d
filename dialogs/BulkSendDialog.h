#pragma once
#include <string>
#include <vector>

#include "framework/TaskbarProgress.h"
#include "midi/MidiDialog.h"
#include "midi/OneShotTimer.h"

// Sends a bulk file message by message, in pieces of at most 4096 bytes, one piece in the
// driver at a time, with the pause chosen in MIDI Setup after each message; Cancel during
// the transfer takes effect after the piece in flight, or at once during a pause. A Standard
// MIDI File is sent as the SysEx messages it holds.
class CBulkSendDialog : public CMidiDialog
{
public:
    explicit CBulkSendDialog(CDialog* parent = nullptr);

    void OnMidiOut(HMIDIOUT handle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2) override;

    std::string m_fileName;
    // When not empty, sent instead of the file's content (the bank window's selected rows).
    std::vector<unsigned char> m_bytes;
    unsigned char* m_data = nullptr;
    unsigned m_position = 0;
    unsigned m_messageEnd = 0;
    unsigned m_fileSize = 0;
    unsigned m_messageRemaining = 0;
    unsigned m_chunkLength = 0;
    BOOL m_abortRequested = FALSE;
    BOOL m_sending = FALSE;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnTimer(UINT_PTR id) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    BOOL LoadFile();
    // A Standard MIDI File becomes the SysEx messages it holds; FALSE after saying why not.
    BOOL TakeMidiFileMessages();
    // What the file holds, shown before anything is sent.
    void ShowSummary(bool midiFile, std::size_t midiMessages);
    // The message that starts at m_position: up to and including its F7, or to the file's end.
    void FindMessage();
    // Moves the next m_chunkLength bytes into the output buffer.
    void TakeChunk();
    // Moves the next piece of the message into the output buffer, prepares it and hands it
    // over; FALSE after the transfer was ended by a failure.
    BOOL SendNextPiece(HMIDIOUT handle);
    void ShowProgress();
    // Ends the transfer: the count of bytes sent, the failure's message (0: none), the port.
    void StopTransfer(unsigned sent, UINT errorId, BOOL closePort, int result);

    HWND m_sentControl = nullptr;
    unsigned m_sent = 0;
    ULONGLONG m_startedAt = 0;
    COneShotTimer m_pause;
    CTaskbarProgress m_taskbar;
};
