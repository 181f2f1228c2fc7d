#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "framework/TaskbarProgress.h"
#include "midi/MidiDialog.h"
#include "midi/OneShotTimer.h"

// Sends a bulk file message by message, one piece in the driver at a time, paced by the wire
// clock rather than by the driver's completions: a piece goes once the bytes still on their
// way leave room for it in the smallest kernel buffer, and the pause chosen in MIDI Setup
// follows the silence on the line. A message goes in pieces of at most 4096 bytes, or whole
// under Wine, where each piece would arrive as a broken message of its own. Progress follows
// the clock. Cancel during the transfer takes effect after the piece in flight (at most about
// a second later: then the driver is made to give it back), at once during a wait. A Standard
// MIDI File is sent as the SysEx messages it holds. Under Wine a last message without F7 is
// left out, since Wine would end it with one; progress and counts are of what is sent.
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
    // Enter and the focus go to Cancel; FALSE, as the dialog initialisation returns then.
    BOOL MakeCancelTheDefault();
    // What is sent, shown before anything is: the file's (or the bank's selection's) messages
    // but the one left out (its position, 0: none). With a warning, Cancel is the default.
    void ShowSummary(bool midiFile, std::size_t midiMessages, bool selection, std::size_t leftOut);
    // The message that starts at m_position: up to and including its F7, or to the file's end.
    void FindMessage();
    // The length of the next piece of the current message.
    unsigned PieceLength() const;
    // Moves the next piece into the output buffer (a longer one stays where it is in the file)
    // and returns where it starts.
    unsigned char* TakeChunk();
    // Hands the next piece over when the clock allows and any pause is over: at once, or from
    // the one-shot timer.
    void ScheduleNextPiece();
    // Prepares the next piece (unless it is prepared already) and hands it over.
    void HandOverPiece();
    // Everything has been handed over: ends once the line is silent by the clock.
    void Finish();
    // The piece in flight has not been completed in time: the driver gives it back, the port
    // closes, and the user learns how much went out.
    void GiveUp();
    // Bytes of the file that have left the line: by the clock, and never more than completed.
    unsigned BytesOnLine() const;
    void ShowProgress(unsigned sent);
    // Ends the transfer: the count of bytes sent, the failure's message (0: none), the port.
    void StopTransfer(unsigned sent, UINT errorId, BOOL closePort, int result);

    HWND m_sentControl = nullptr;
    unsigned m_completed = 0;          // bytes of the pieces the driver has completed
    std::uint64_t m_lineBefore = 0;    // bytes the wire clock had been given before the first piece
    std::int64_t m_pieceLeavesAt = 0;  // when the piece in flight has left the line, by the clock
    std::int64_t m_pauseFrom = 0;      // the silence the next message's pause counts from; 0: none
    bool m_inFlight = false;
    bool m_piecePrepared = false;
    bool m_finishing = false;
    unsigned m_messageCount = 0;
    unsigned m_pausesDone = 0;
    ULONGLONG m_startedAt = 0;
    COneShotTimer m_next;
    CTaskbarProgress m_taskbar;
};
