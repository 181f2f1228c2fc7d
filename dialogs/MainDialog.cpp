#include "dialogs/MainDialog.h"

#include <algorithm>
#include <optional>

#include "dialogs/AboutDialog.h"
#include "dialogs/BulkReceiveDialog.h"
#include "dialogs/BulkSendDialog.h"
#include "dialogs/HistoryDialog.h"
#include "dialogs/MidiSetupDialog.h"
#include "framework/DataExchange.h"
#include "framework/File.h"
#include "framework/FileDialog.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "framework/WinApp.h"
#include "history/DumpHistory.h"
#include "midi/ChosenPort.h"
#include "midi/MidiApp.h"
#include "midi/MidiPortState.h"
#include "framework/Unicode.h"
#include "protocol/SysExMessages.h"
#include "resources/resource.h"

namespace
{
constexpr int MaxFileNameLength = 256;
constexpr UINT_PTR WaitingStatusTimerId = IDC_STATUS;
// The bulk send also plays Standard MIDI Files: both kinds show at first.
constexpr char BulkSendFilter[] =
    "Sysex and MIDI files (*.syx;*.mid)|*.syx;*.mid|Sysex files (*.syx)|*.syx|MIDI files (*.mid)|*.mid|"
    "All files (*.*)|*.*||";

// Enter in a group's fields runs that group's action.
constexpr std::pair<int, int> EnterActions[] = {
    {IDC_RECEIVE_PROGRAM_FILE, IDC_RECEIVE_PROGRAM},     {IDC_RECEIVE_PROGRAM_NUMBER, IDC_RECEIVE_PROGRAM},
    {IDC_RECEIVE_ALGORITHM_FILE, IDC_RECEIVE_ALGORITHM}, {IDC_RECEIVE_ALGORITHM_NUMBER, IDC_RECEIVE_ALGORITHM},
    {IDC_RECEIVE_BULK_FILE, IDC_RECEIVE_BULK},           {IDC_SEND_PROGRAM_FILE, IDC_SEND_PROGRAM},
    {IDC_SEND_PROGRAM_SLOT, IDC_SEND_PROGRAM},           {IDC_SEND_ALGORITHM_FILE, IDC_SEND_ALGORITHM},
    {IDC_SEND_ALGORITHM_NUMBER, IDC_SEND_ALGORITHM},     {IDC_SEND_BULK_FILE, IDC_SEND_BULK},
    {IDC_PROGRAM_CHANGE_NUMBER, IDC_PROGRAM_CHANGE},
};
}

CMainDialog::CMainDialog(CDialog* parent) : CMidiDialog(IDD_MAIN, parent)
{
    m_icon = LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_MAIN));
}

void CMainDialog::DoDataExchange(CDataExchange* dx)
{
    CMidiDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_SEND_ALGORITHM_SPIN, m_sendAlgorithmSpin);
    DDX_Control(dx, IDC_RECEIVE_ALGORITHM_SPIN, m_receiveAlgorithmSpin);
    DDX_Control(dx, IDC_PROGRAM_CHANGE_SPIN, m_programChangeSpin);
    DDX_Control(dx, IDC_SEND_PROGRAM_SPIN, m_sendProgramSpin);
    DDX_Control(dx, IDC_RECEIVE_PROGRAM_SPIN, m_receiveProgramSpin);
    DDX_Text(dx, IDC_RECEIVE_PROGRAM_NUMBER, m_receiveProgramNumber);
    DDV_MinMaxInt(dx, m_receiveProgramNumber, 1, 240);
    DDX_Text(dx, IDC_SEND_PROGRAM_SLOT, m_sendProgramSlot);
    DDV_MinMaxInt(dx, m_sendProgramSlot, 1, 100);
    DDX_Text(dx, IDC_PROGRAM_CHANGE_NUMBER, m_programChangeNumber);
    DDV_MinMaxInt(dx, m_programChangeNumber, 1, 128);
    DDX_Text(dx, IDC_RECEIVE_ALGORITHM_NUMBER, m_receiveAlgorithmNumber);
    DDV_MinMaxInt(dx, m_receiveAlgorithmNumber, 1, 127);
    DDX_Text(dx, IDC_SEND_ALGORITHM_NUMBER, m_sendAlgorithmNumber);
    DDV_MinMaxInt(dx, m_sendAlgorithmNumber, 1, 64);
    const std::pair<int, std::string*> files[] = {
        {IDC_RECEIVE_PROGRAM_FILE, &m_receiveProgramFile}, {IDC_SEND_PROGRAM_FILE, &m_sendProgramFile},
        {IDC_RECEIVE_BULK_FILE, &m_receiveBulkFile},       {IDC_RECEIVE_ALGORITHM_FILE, &m_receiveAlgorithmFile},
        {IDC_SEND_ALGORITHM_FILE, &m_sendAlgorithmFile},   {IDC_SEND_BULK_FILE, &m_sendBulkFile}};
    for (const auto& [id, file] : files)
    {
        DDX_Text(dx, id, *file);
        DDV_MaxChars(dx, *file, MaxFileNameLength);
    }
    DDX_Check(dx, IDC_COMPARE_AFTER_SEND, m_compareAfterSend);
}

BOOL CMainDialog::OnInitDialog()
{
    CMidiDialog::OnInitDialog();

    if (HMENU systemMenu = GetSystemMenu(m_hWnd, FALSE))
    {
        const std::string about = LoadResString(IDS_ABOUTBOX);
        if (!about.empty())
        {
            AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, Widen(about).c_str());
        }
        AppendMenuW(systemMenu, MF_STRING, IDM_MIDI_LOG, Widen(LoadResString(IDS_LOG_MENU)).c_str());
        AppendMenuW(systemMenu, MF_STRING, IDM_UNDO_SEND, Widen(LoadResString(IDS_UNDO_MENU)).c_str());
        UpdateUndo();
    }
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));

    DragAcceptFiles(m_hWnd, TRUE);
    m_receiveProgramSpin.SetRange(1, 240);
    m_sendProgramSpin.SetRange(1, 100);
    m_receiveAlgorithmSpin.SetRange(1, 127);
    m_sendAlgorithmSpin.SetRange(1, 64);
    m_programChangeSpin.SetRange(1, 128);

    // The field is checked but never sent: the file's own number decides where the device
    // stores an algorithm, and the tip says so.
    if (m_toolTips.Create(this))
    {
        m_toolTips.Activate(TRUE);
        for (int control : {IDC_SEND_ALGORITHM_NUMBER, IDC_SEND_ALGORITHM_SPIN})
            m_toolTips.AddTool(GetDlgItem(control), IDS_TIP_SEND_ALGORITHM_NUMBER);
    }
    return TRUE;
}

BOOL CMainDialog::PreTranslateMessage(MSG* message)
{
    // The tooltip does not subclass the controls, so it sees the mouse only through here.
    if (m_toolTips.m_hWnd != nullptr)
        m_toolTips.RelayEvent(message);
    return CMidiDialog::PreTranslateMessage(message);
}

BOOL CMainDialog::OnCommand(UINT id, UINT notifyCode)
{
    if (notifyCode != BN_CLICKED)
        return CMidiDialog::OnCommand(id, notifyCode);
    switch (id)
    {
    case IDC_RECEIVE_PROGRAM: OnReceiveProgram(); return TRUE;
    case IDC_RECEIVE_ALGORITHM: OnReceiveAlgorithm(); return TRUE;
    case IDC_RECEIVE_BULK: OnReceiveBulk(); return TRUE;
    case IDC_SEND_PROGRAM: OnSendProgram(); return TRUE;
    case IDC_SEND_ALGORITHM: OnSendAlgorithm(); return TRUE;
    case IDC_SEND_BULK: OnSendBulk(); return TRUE;
    case IDC_BANK: OnBank(); return TRUE;
    case IDC_HISTORY: OnHistory(); return TRUE;
    case IDC_PROGRAM_CHANGE: OnProgramChange(); return TRUE;
    case IDC_COMMAND21: OnSendCommand21(); return TRUE;
    case IDC_COMMAND22: OnSendCommand22(); return TRUE;
    case IDC_MIDI_SETUP: OnMidiSetup(); return TRUE;
    case IDC_BROWSE_RECEIVE_PROGRAM:
    case IDC_BROWSE_RECEIVE_ALGORITHM:
    case IDC_BROWSE_RECEIVE_BULK: OnBrowseReceiveFile(); return TRUE;
    case IDC_BROWSE_SEND_PROGRAM:
    case IDC_BROWSE_SEND_ALGORITHM:
    case IDC_BROWSE_SEND_BULK: OnBrowseSendFile(); return TRUE;
    default: return CMidiDialog::OnCommand(id, notifyCode);
    }
}

BOOL CMainDialog::OnSysCommand(UINT id, LPARAM)
{
    if ((id & 0xFFF0) == IDM_MIDI_LOG || (id & 0xFFF0) == IDM_UNDO_SEND)
    {
        (id & 0xFFF0) == IDM_MIDI_LOG ? OnMidiLog() : OnUndoLastSend();
        return TRUE;
    }
    if ((id & 0xFFF0) != IDM_ABOUTBOX)
        return FALSE;
    CAboutDialog about;
    about.DoModal();
    return TRUE;
}

void CMainDialog::OnMidiLog()
{
    if (m_log.GetSafeHwnd() == nullptr)
        m_log.Create();
    else
        SetForegroundWindow(m_log.GetSafeHwnd());
}

void CMainDialog::OnDestroy()
{
    if (m_log.GetSafeHwnd() != nullptr)
        DestroyWindow(m_log.GetSafeHwnd());
    CMidiDialog::OnDestroy();
}

BOOL CMainDialog::OnPaint()
{
    if (!IsIconic(m_hWnd))
        return FALSE;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_icon);
    EndPaint(m_hWnd, &paint);
    return TRUE;
}

HICON CMainDialog::OnQueryDragIcon()
{
    return m_icon;
}

INT_PTR CMainDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    if (PortListChanged(message, wParam))
        ShowMissingPort();
    if (message != WM_DROPFILES)
        return CMidiDialog::OnMessage(message, wParam, lParam, handled);
    handled = true;
    OnDropFiles(reinterpret_cast<HDROP>(wParam));
    return 0;
}

// A file dropped on a file field fills that field; dropped anywhere else it fills Send bulk
// dump's. Of several files the first is taken.
void CMainDialog::OnDropFiles(HDROP drop)
{
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    std::wstring path(length + 1, L'\0');
    DragQueryFileW(drop, 0, &path[0], length + 1);
    path.resize(length);
    POINT point{};
    DragQueryPoint(drop, &point);
    DragFinish(drop);
    if (path.empty())
        return;
    ClientToScreen(m_hWnd, &point);
    int target = IDC_SEND_BULK_FILE;
    for (int field : {IDC_RECEIVE_PROGRAM_FILE, IDC_RECEIVE_ALGORITHM_FILE, IDC_RECEIVE_BULK_FILE,
                      IDC_SEND_PROGRAM_FILE, IDC_SEND_ALGORITHM_FILE, IDC_SEND_BULK_FILE})
    {
        RECT bounds;
        GetWindowRect(GetDlgItem(field), &bounds);
        if (PtInRect(&bounds, point))
            target = field;
    }
    SetDlgItemText(target, Narrow(path));
}

void CMainDialog::OnOK()
{
    // The window has no OK: Enter in a field runs its group's action, and never ends the
    // program (a focused button gets Enter from the dialog manager itself).
    const int focused = GetDlgCtrlID(GetFocus());
    for (const auto& [field, action] : EnterActions)
        if (field == focused)
            SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(action, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(action)));
}

void CMainDialog::EnableControls(BOOL enable)
{
    if (!enable)
        m_focusBeforeWait = GetFocus();
    CMidiDialog::EnableControls(enable);
    if (enable)
    {
        if (m_waitStart != 0)
        {
            KillTimer(m_hWnd, WaitingStatusTimerId);
            m_waitStart = 0;
            // Nothing came (time-out, failure): the box that follows says why.
            const std::string text = ShownDumpText(m_dumpBuffer.m_bytes, m_dumpBuffer.m_length);
            if (m_dumpBuffer.m_length > 0)
                ShowStatus(text.empty() ? IDS_STATUS_ANSWERED : IDS_STATUS_ANSWERED_TEXT,
                           {std::to_string(m_dumpBuffer.m_length), text});
            else
                SetDlgItemText(IDC_STATUS, "");
        }
        if (m_focusBeforeWait != nullptr && IsWindowEnabled(m_focusBeforeWait))
            GotoDlgCtrl(m_focusBeforeWait);
        return;
    }
    // Only Exit stays usable while the window waits for a reply. The keyboard goes to the
    // status line, which counts the wait: Enter, even repeated, presses nothing there (on
    // Exit it would end the program and lose the reply), and Escape still ends it.
    EnableWindow(GetDlgItem(IDCANCEL), TRUE);
    EnableWindow(GetDlgItem(IDC_STATUS), TRUE);
    GotoDlgCtrl(GetDlgItem(IDC_STATUS));
    m_waitStart = GetTickCount64();
    ShowWaitingStatus();
    SetTimer(m_hWnd, WaitingStatusTimerId, 1000, nullptr);
}

void CMainDialog::OnTimer(UINT_PTR id)
{
    if (id == WaitingStatusTimerId && m_waitStart != 0)
        ShowWaitingStatus();
    else
        CMidiDialog::OnTimer(id);
}

void CMainDialog::ShowWaitingStatus()
{
    ShowStatus(IDS_STATUS_WAITING, {std::to_string((GetTickCount64() - m_waitStart) / 1000)});
}

// Read again after a device came or went, so that a chosen port that is gone shows at once,
// not only at the next send; the notice goes once the port is back.
void CMainDialog::ShowMissingPort()
{
    for (const auto& [direction, text] : {std::pair{PortDirection::Output, IDS_STATUS_OUTPUT_NOT_CONNECTED},
                                          std::pair{PortDirection::Input, IDS_STATUS_INPUT_NOT_CONNECTED}})
        if (const std::optional<MidiPortId> missing = MissingChosenPort(direction))
        {
            ShowStatus(text, {ShownPort(*missing)});
            m_showsMissingPort = true;
            return;
        }
    if (std::exchange(m_showsMissingPort, false))
        SetDlgItemText(IDC_STATUS, "");
}

void CMainDialog::ShowStatus(UINT id, std::initializer_list<std::string> inserts)
{
    SetDlgItemText(IDC_STATUS, LoadResString(id, inserts));
}

bool CMainDialog::ConfirmOverwrite(const std::string& fileName)
{
    CFile existing;
    if (!existing.Open(fileName, CFile::modeRead | CFile::shareDenyNone))
        return true;
    existing.Abort();
    return AfxMessageBox(IDS_CONFIRM_OVERWRITE, MB_QUESTION_BOX) == IDYES;
}

bool CMainDialog::CheckReceiveTarget(const std::string& fileName, int fileEditId)
{
    if (fileName.empty())
    {
        AfxMessageBox(IDS_NO_RECEIVE_FILE, MB_ERROR_BOX);
        GotoDlgCtrl(GetDlgItem(fileEditId));
        return false;
    }
    // Found now, not after minutes of receiving.
    if (!CheckSaveTarget(fileName))
    {
        GotoDlgCtrl(GetDlgItem(fileEditId));
        return false;
    }
    return ConfirmOverwrite(fileName);
}

void CMainDialog::ReceiveDump(std::string& fileName, int fileEditId, unsigned requestLength,
                              void (*buildRequest)(unsigned char*, int, int), const int& number)
{
    if (!UpdateData(TRUE) || !CheckReceiveTarget(fileName, fileEditId))
        return;

    m_completionAction = &CMidiDialog::SaveDumpToFile;
    m_targetFile = &fileName;
    if (!OpenPorts(requestLength))
        return;

    EnableControls(FALSE);
    if (!SendRequest(requestLength, [&](unsigned char* request, int device) { buildRequest(request, device, number); }) ||
        !StartReplyTimer())
        EnableControls(TRUE);
}

void CMainDialog::OnReceiveProgram()
{
    ReceiveDump(m_receiveProgramFile, IDC_RECEIVE_PROGRAM_FILE, SysEx::ProgramDumpRequestLength,
                BuildProgramDumpRequest, m_receiveProgramNumber);
}

void CMainDialog::OnReceiveAlgorithm()
{
    ReceiveDump(m_receiveAlgorithmFile, IDC_RECEIVE_ALGORITHM_FILE, SysEx::AlgorithmDumpRequestLength,
                BuildAlgorithmDumpRequest, m_receiveAlgorithmNumber);
}

void CMainDialog::OnMidiSetup()
{
    CMidiSetupDialog setup;
    if (setup.DoModal() != IDOK)
        return;
    // What was backed up belongs to the device it came from: Undo must not reach another.
    const MidiChoices before = CurrentMidiChoices();
    if (setup.m_deviceNumber != before.deviceNumber || !(setup.m_outputPort == before.outputPort))
        ForgetLastOverwritten();
    UpdateUndo();
    ApplyMidiChoices({setup.m_deviceNumber, setup.m_inputPort, setup.m_outputPort, setup.m_pauseMs});
    History().SetFolder(setup.m_historyFolder);
    History().SetLimitMegabytes(setup.m_historyLimitMegabytes);
    History().SetBackupBeforeOverwrite(setup.m_backupBeforeOverwrite != FALSE);
    if (m_onMidiSetupChanged)
        m_onMidiSetupChanged();
}

void CMainDialog::OnReceiveBulk()
{
    if (!UpdateData(TRUE) || !CheckReceiveTarget(m_receiveBulkFile, IDC_RECEIVE_BULK_FILE) || !OutputIsFree())
        return;
    CBulkReceiveDialog receive;
    receive.m_fileName = m_receiveBulkFile;
    SetCurrentMidiWindow(&receive);
    receive.DoModal();
    SetCurrentMidiWindow(this);
}

BOOL CMainDialog::BulkFileReady()
{
    if (!UpdateData(TRUE))
        return FALSE;
    if (m_sendBulkFile.empty())
    {
        AfxMessageBox(IDS_NO_SEND_FILE, MB_ERROR_BOX);
        GotoDlgCtrl(GetDlgItem(IDC_SEND_BULK_FILE));
        return FALSE;
    }
    // Checked before a dialog takes the driver's events: the completion of the message still
    // going out belongs to this window.
    return OutputIsFree();
}

void CMainDialog::OnSendBulk()
{
    if (!BulkFileReady())
        return;
    CBulkSendDialog send;
    send.m_fileName = m_sendBulkFile;
    send.m_showStatus = [this](const std::string& text) { ShowStatusText(text); };
    SetCurrentMidiWindow(&send);
    send.DoModal();
    SetCurrentMidiWindow(this);
    UpdateUndo();
}

void CMainDialog::OnBank()
{
    if (BulkFileReady())
        OpenBank(m_sendBulkFile, *this);
    UpdateUndo();
}

void CMainDialog::OpenBank(const std::string& fileName, CMidiDialog& from)
{
    CBankDialog bank;
    bank.m_fileName = fileName;
    bank.m_layout = &m_bankLayout;
    bank.m_compareAfterSend = m_compareAfterSend != FALSE;
    bank.m_showStatus = [this](const std::string& text) { ShowStatusText(text); };
    from.RunMidiDialog(bank);
}

void CMainDialog::OnHistory()
{
    CHistoryDialog history(this);
    history.m_openInBank = [this, &history](const std::string& fileName) {
        if (history.OutputIsFree())
            OpenBank(fileName, history);
    };
    RunMidiDialog(history);
    UpdateUndo();
}

void CMainDialog::Browse(UINT titleId, DWORD extraFlags, std::initializer_list<std::pair<int, std::string*>> targets)
{
    // Reading first keeps what the user typed elsewhere; a refusal does not stop the browse.
    UpdateData(TRUE);
    const bool bulkSend = GetDlgCtrlID(GetFocus()) == IDC_BROWSE_SEND_BULK;
    CFileDialog dialog(TRUE, "syx", bulkSend ? "*.syx;*.mid" : "*.syx",
                       OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | extraFlags, bulkSend ? BulkSendFilter : SysExFileFilter);
    dialog.m_title = LoadResString(titleId);
    if (dialog.DoModal() != IDOK)
        return;
    // The button that was pressed has the focus again once the file dialog has closed.
    const int focused = GetDlgCtrlID(GetFocus());
    for (const auto& [buttonId, member] : targets)
        if (buttonId == focused)
            *member = dialog.GetPathName();
    UpdateData(FALSE);
}

void CMainDialog::OnBrowseReceiveFile()
{
    Browse(IDS_RECEIVE_FILE_TITLE, 0,
           {{IDC_BROWSE_RECEIVE_PROGRAM, &m_receiveProgramFile},
            {IDC_BROWSE_RECEIVE_ALGORITHM, &m_receiveAlgorithmFile},
            {IDC_BROWSE_RECEIVE_BULK, &m_receiveBulkFile}});
}

void CMainDialog::OnBrowseSendFile()
{
    Browse(IDS_SEND_FILE_TITLE, OFN_FILEMUSTEXIST,
           {{IDC_BROWSE_SEND_PROGRAM, &m_sendProgramFile},
            {IDC_BROWSE_SEND_ALGORITHM, &m_sendAlgorithmFile},
            {IDC_BROWSE_SEND_BULK, &m_sendBulkFile}});
}
