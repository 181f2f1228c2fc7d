#pragma once
#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "midi/MidiDialog.h"
#include "midi/MidiPortState.h"

// Finds where the device is: listens on every input port at once and, one output port after
// the other, asks every device number 1 to 16 for a program, which changes nothing on a
// device. Each answer is a row: the device number its header carries, the output that reached
// it, the input it answered on. Ports that cannot be opened are named and skipped. Nothing is
// changed until the user takes an answer (OK); Cancel stops the search.
//
// Every output is asked for a program of its own number, so that the program a reply carries
// says which output reached the device even when the reply comes late.
class CFindDeviceDialog : public CMidiDialog
{
public:
    struct Answer
    {
        int deviceNumber = 0;
        MidiPortId output;
        MidiPortId input;
        bool operator==(const Answer& other) const
        {
            return deviceNumber == other.deviceNumber && output == other.output && input == other.input;
        }
    };

    explicit CFindDeviceDialog(CDialog* parent = nullptr);

    void OnMidiIn(HMIDIIN handle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2) override;
    void OnSendEnded(const SendResult& result) override;
    bool Searching() const { return m_searching; }

    std::vector<Answer> m_answers;
    // The answer taken with OK.
    std::optional<Answer> m_chosen;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnTimer(UINT_PTR id) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    void Start();
    // Asks on the next output port that opens; ends the search after the last.
    void AskNextOutput();
    // The messages complete in what `input` has brought so far.
    void ReadAnswers(int input);
    void AddAnswer(int deviceNumber, int output, int input);
    void Finish();
    // Ends the search; the window closes with `result` once the request on its way has gone.
    void Stop(int result);
    void ShowStatus(const std::string& text);
    int SelectedRow() const;

    std::vector<std::string> m_inputNames;
    std::vector<std::string> m_outputNames;
    std::vector<std::string> m_skipped;
    std::map<int, std::vector<unsigned char>> m_pending;  // by input port: bytes of a reply under way
    int m_nextOutput = 0;
    bool m_searching = false;
    bool m_waiting = false;  // for replies, after the requests of an output have gone out
    int m_endWith = 0;       // the result to close with once the sender is done
    HWND m_list = nullptr;
};
