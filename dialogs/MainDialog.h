#pragma once
#include <windows.h>
#include <shellapi.h>

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "dialogs/BankDialog.h"
#include "dialogs/MidiLogDialog.h"
#include "framework/Controls.h"
#include "midi/MidiDialog.h"
#include "resources/resource.h"

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
    void EnableControls(BOOL enable) override;
    void OnBank();
    // Opens a dump file in the bank window: the send bulk file, or an entry of the history
    // (`from`: the window the bank returns the driver's events to).
    void OpenBank(const std::string& fileName, CMidiDialog& from);
    void OnHistory();
    // Opens the MIDI log beside the window, or brings it to the front.
    void OnMidiLog();
    // Sends back what the last send with a backup overwrote, itself backed up first, so that
    // an Undo can be undone.
    void OnUndoLastSend();
    // The bulk file field is filled and the port free, for the bulk send and the bank window;
    // FALSE after saying why not.
    BOOL BulkFileReady();
    // The checks and the send of Send program, for a dump from a file or a bank row: FALSE
    // after saying why the dump does not go out (`shown` names it).
    static BOOL CheckDump(const std::vector<unsigned char>& dump, const std::string& shown, std::size_t stampLength);
    // What the status line says of a dump that has gone out.
    static std::string SentDumpText(std::size_t stampLength, const std::vector<unsigned char>& dump, int slot);
    // Shows a text in the status line ("": clears it).
    void ShowStatusText(const std::string& text) { SetDlgItemText(IDC_STATUS, text); }

    BOOL PreTranslateMessage(MSG* message) override;

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
    HWND m_focusBeforeWait = nullptr;
    // Since when the window waits for a reply (0: it does not), for the status line.
    ULONGLONG m_waitStart = 0;
    CToolTipCtrl m_toolTips;
    // Called when MIDI Setup has changed the port state.
    std::function<void()> m_onMidiSetupChanged;
    BankWindowLayout m_bankLayout;
    // Send program (and the bank's Send to slot) request the slot back and compare.
    BOOL m_compareAfterSend = FALSE;
    CMidiLogDialog m_log;

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(UINT id, UINT notifyCode) override;
    BOOL OnSysCommand(UINT id, LPARAM lParam) override;
    BOOL OnPaint() override;
    HICON OnQueryDragIcon() override;
    void OnOK() override;
    void OnTimer(UINT_PTR id) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void OnDestroy() override;

private:
    void OnDropFiles(HDROP drop);
    // Asks whether to replace an existing file; false when the user says No.
    bool ConfirmOverwrite(const std::string& fileName);
    // A receive's file: named, writable, and replaced only after the user agreed; false
    // after saying what is wrong.
    bool CheckReceiveTarget(const std::string& fileName, int fileEditId);
    // Reads a program or algorithm dump file whole and checks that it is one message this
    // device can take; FALSE after saying why not, or when the user declines a file made for
    // another device.
    BOOL LoadDumpFile(const std::string& fileName, std::size_t stampLength, std::vector<unsigned char>& dump);
    // The request half of a single-dump receive: the reply is saved by SaveDumpToFile.
    // `number` is the member itself, read only after the fields have been validated.
    void ReceiveDump(std::string& fileName, int fileEditId, unsigned requestLength,
                     void (*buildRequest)(unsigned char*, int, int), const int& number);
    // Loads a dump file and sends it to `slot` (a program) or to the algorithm it names;
    // `slot` is the member itself, read only after the fields have been validated.
    void SendDumpFile(const std::string& fileName, int fileEditId, std::size_t stampLength, const int& slot);
    // Sends a dump over what `number` holds; the status line says so once it has gone out.
    void SendShown(HistoryKind kind, int number, const std::vector<unsigned char>& dump, std::function<void()> compare);
    // Undo last send in the window menu can be chosen once a send with a backup has gone out.
    void UpdateUndo();
    void ShowStatus(UINT id, std::initializer_list<std::string> inserts);
    // Sends one message; the status line says `sent` once it has gone out, nothing before.
    void SendCounted(const std::vector<unsigned char>& message, const std::string& sent);
    void ShowMissingPort();
    bool m_showsMissingPort = false;
    void ShowWaitingStatus();
    void Browse(UINT titleId, DWORD extraFlags, std::initializer_list<std::pair<int, std::string*>> targets);
};
