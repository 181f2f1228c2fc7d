#pragma once
#include <initializer_list>
#include <string>
#include <utility>

#include "framework/Controls.h"
#include "midi/MidiDialog.h"

// The program's main window: the numbers and file names of every transfer, one button
// per operation. It is the current MIDI window whenever no bulk dialog runs.
class CMainDialog : public CMidiDialog
{
public:
    explicit CMainDialog(CDialog* parent = nullptr);

    void DoDataExchange(CDataExchange* dx) override;

    void OnReceiveProgram();
    void OnReceiveAlgorithm();
    void OnReceiveBulk();
    void OnSendProgram();
    void OnSendAlgorithm();
    void OnSendBulk();
    void OnProgramChange();
    void OnSendCommand21();
    void OnSendCommand22();
    void OnMidiSetup();
    void OnBrowseReceiveFile();
    void OnBrowseSendFile();

    CSpinButtonCtrl m_sendAlgorithmSpin;
    CSpinButtonCtrl m_receiveAlgorithmSpin;
    CSpinButtonCtrl m_programChangeSpin;
    CSpinButtonCtrl m_sendProgramSpin;
    CSpinButtonCtrl m_receiveProgramSpin;
    int m_receiveProgramNumber = 1;
    int m_sendProgramSlot = 1;
    int m_programChangeNumber = 1;
    int m_receiveAlgorithmNumber = 1;
    int m_sendAlgorithmNumber = 1;
    std::string m_receiveProgramFile = "ProgramDump.syx";
    std::string m_sendProgramFile = "ProgramDump.syx";
    std::string m_receiveBulkFile = "BulkDump.syx";
    std::string m_receiveAlgorithmFile = "AlgorithmDump.syx";
    std::string m_sendAlgorithmFile = "AlgorithmDump.syx";
    std::string m_sendBulkFile = "BulkDump.syx";
    HICON m_icon = nullptr;

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(UINT id, UINT notifyCode) override;
    BOOL OnSysCommand(UINT id, LPARAM lParam) override;
    BOOL OnPaint() override;
    HICON OnQueryDragIcon() override;

private:
    // Asks whether to replace an existing file; false when the user says No.
    bool ConfirmOverwrite(const std::string& fileName);
    // The request half of a single-dump receive: the reply is saved by SaveDumpToFile.
    // `number` is the member itself, read only after the fields have been validated.
    void ReceiveDump(std::string& fileName, int fileEditId, unsigned requestLength,
                     void (*buildRequest)(unsigned char*, int, int), const int& number);
    // Loads a dump file into the output buffer and sends it after `stamp` re-addressed it;
    // `slot` is the member itself, read only after the fields have been validated.
    void SendDumpFile(const std::string& fileName, int fileEditId, void (*stamp)(unsigned char*, int, int),
                      const int& slot);
    void Browse(UINT titleId, DWORD extraFlags, std::initializer_list<std::pair<int, std::string*>> targets);
};
