#pragma once
#include <string>

#include "midi/MidiDialog.h"

// Sends a bulk file message by message, in pieces of at most 4096 bytes, one piece in the
// driver at a time; Cancel during the transfer takes effect after the piece in flight.
class CBulkSendDialog : public CMidiDialog
{
public:
    explicit CBulkSendDialog(CDialog* parent = nullptr);

    void OnMidiOut(HMIDIOUT handle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2) override;

    std::string m_fileName;
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

private:
    BOOL LoadFile();
    // The message that starts at m_position: up to and including its F7, or to the file's end.
    void FindMessage();
    // Moves the next m_chunkLength bytes into the output buffer.
    void TakeChunk();
    // Ends the transfer: the count of bytes sent, the failure's message (0: none), the port.
    void StopTransfer(unsigned sent, UINT errorId, BOOL closePort, int result);

    HWND m_sentControl = nullptr;
};
