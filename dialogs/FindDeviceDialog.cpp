#include "dialogs/FindDeviceDialog.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "framework/Controls.h"
#include "framework/Strings.h"
#include "midi/ChosenPort.h"
#include "midi/MidiReceiver.h"
#include "midi/MidiSender.h"
#include "protocol/BankIndex.h"
#include "protocol/SysExMessages.h"
#include "resources/resource.h"

namespace
{
constexpr UINT_PTR WaitTimerId = 2;  // 1 is the reply timer of every MIDI window
constexpr int DeviceNumbers = 16;
constexpr int Programs = 240;
constexpr int ColumnWidths[] = {60, 110, 110};
// How long the replies to one output's requests are waited for once they have gone out: a
// device answers at once, and a reply that has started keeps the wait open (OnMidiIn). The
// shortened reply time-out of the tests shortens it too.
constexpr UINT AnswerGraceMs = 600;

UINT WaitMs()
{
    // A driver may hand a reply over only at its end or when a buffer is full: one buffer's
    // time on the wire is waited for too.
    const std::int64_t buffer = std::int64_t{MidiBufferSize} * PortState().wireClock.ByteTime() / 1000;
    return std::min(ReplyTimeoutMs(), AnswerGraceMs) + static_cast<UINT>(buffer);
}

std::string Joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}
}

CFindDeviceDialog::CFindDeviceDialog(CDialog* parent) : CMidiDialog(IDD_FIND_DEVICE, parent)
{
}

BOOL CFindDeviceDialog::OnInitDialog()
{
    CMidiDialog::OnInitDialog();
    if (m_initFailed)
        return TRUE;
    m_list = GetDlgItem(IDC_FIND_LIST);
    AddListColumns(m_list, m_hWnd, IDS_FIND_COLUMN_BASE, ColumnWidths, static_cast<int>(std::size(ColumnWidths)), 1);
    Start();
    return TRUE;
}

void CFindDeviceDialog::Start()
{
    m_inputNames = PortNamesNow(PortDirection::Input);
    m_outputNames = PortNamesNow(PortDirection::Output);
    SendDlgItemMessageW(m_hWnd, IDC_FIND_PROGRESS, PBM_SETRANGE32, 0, static_cast<LPARAM>(m_outputNames.size()));
    bool listening = false;
    const std::vector<UINT> refusals = CMidiReceiver::Instance().OpenEvery();
    for (std::size_t port = 0; port < refusals.size(); ++port)
    {
        if (refusals[port] == IDS_INPUT_IN_USE || refusals[port] == IDS_INPUT_OPEN_FAILED)
        {
            m_skipped.push_back(ListedPort(m_inputNames, port));
            continue;
        }
        // Any other failure closed every input again.
        listening = refusals[port] == 0;
        if (!listening)
            ShowRefusal(refusals[port]);
    }
    if (!listening)
    {
        ShowStatus(LoadResString(IDS_FIND_NO_INPUT));
        Finish();
        return;
    }
    m_searching = true;
    AskNextOutput();
}

void CFindDeviceDialog::AskNextOutput()
{
    KillTimer(m_hWnd, WaitTimerId);
    m_waiting = false;
    const int outputs = static_cast<int>(m_outputNames.size());
    while (m_searching && m_nextOutput < outputs)
    {
        const int output = m_nextOutput++;
        SendDlgItemMessageW(m_hWnd, IDC_FIND_PROGRESS, PBM_SETPOS, output, 0);
        ShowStatus(LoadResString(IDS_FIND_ASKING, {ListedPort(m_outputNames, output), std::to_string(output + 1),
                                                   std::to_string(outputs)}));
        const UINT refusal = CMidiSender::Instance().OpenOutput(output);
        if (refusal == IDS_OUTPUT_IN_USE || refusal == IDS_OUTPUT_OPEN_FAILED)
        {
            m_skipped.push_back(ListedPort(m_outputNames, output));
            continue;
        }
        if (refusal != 0)
        {
            ShowRefusal(refusal);
            break;
        }
        // Short messages, so they go back to back; the program number names the output.
        std::vector<std::vector<unsigned char>> requests;
        for (int device = 1; device <= DeviceNumbers; ++device)
        {
            std::vector<unsigned char> request(SysEx::ProgramDumpRequestLength);
            BuildProgramDumpRequest(request.data(), device, output % Programs + 1);
            requests.push_back(std::move(request));
        }
        // How it ends comes to OnSendEnded, at once when it failed.
        CMidiSender::Instance().Send(std::move(requests), this);
        return;
    }
    Finish();
}

void CFindDeviceDialog::OnSendEnded(const SendResult& result)
{
    if (m_endWith != 0 && !CMidiSender::Instance().Carries(this))
    {
        EndDialog(m_endWith);
        return;
    }
    if (!m_searching)
        return;
    if (result.outcome == SendOutcome::Failed || result.outcome == SendOutcome::Stopped)
    {
        m_skipped.push_back(ListedPort(m_outputNames, m_nextOutput - 1));
        AskNextOutput();
        return;
    }
    m_waiting = true;
    SetTimer(m_hWnd, WaitTimerId, WaitMs(), nullptr);
}

void CFindDeviceDialog::OnMidiIn(HMIDIIN handle, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR)
{
    DWORD recorded = 0;
    MIDIHDR* header = ReceivedBlock(handle, message, param1, recorded);
    if (header == nullptr)
        return;
    const int input = CMidiReceiver::Instance().PortOf(handle);
    if (input >= 0)
    {
        std::vector<unsigned char>& pending = m_pending[input];
        pending.insert(pending.end(), header->lpData, header->lpData + recorded);
    }
    RequeueInputBuffer(handle, header);
    if (input < 0)
        return;
    ReadAnswers(input);
    // A reply still arriving holds the wait open until it has stopped coming for a while.
    if (m_waiting && !m_pending[input].empty())
        SetTimer(m_hWnd, WaitTimerId, WaitMs(), nullptr);
}

void CFindDeviceDialog::ReadAnswers(int input)
{
    std::vector<unsigned char>& pending = m_pending[input];
    const auto lastEnd = std::find(pending.rbegin(), pending.rend(), SysEx::End);
    const std::size_t complete = static_cast<std::size_t>(pending.rend() - lastEnd);
    for (const BankMessage& reply : IndexBank(pending.data(), complete))
    {
        if (reply.deviceNumber == 0 ||
            (reply.kind != BankMessageKind::ProgramDump && reply.kind != BankMessageKind::ErrorReply))
            continue;
        // An error reply does not say which request it answers: the latest is the likeliest.
        const bool named = reply.kind == BankMessageKind::ProgramDump && reply.number >= 1 && reply.number <= m_nextOutput;
        AddAnswer(reply.deviceNumber, named ? reply.number - 1 : m_nextOutput - 1, input);
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(complete));
}

void CFindDeviceDialog::AddAnswer(int deviceNumber, int output, int input)
{
    if (output < 0)
        return;
    const Answer answer{deviceNumber, PortIdAt(m_outputNames, output), PortIdAt(m_inputNames, input)};
    if (std::find(m_answers.begin(), m_answers.end(), answer) != m_answers.end())
        return;
    m_answers.push_back(answer);
    const int row = AddListRow(m_list, {std::to_string(deviceNumber), ListedPort(m_outputNames, output),
                                        ListedPort(m_inputNames, input)});
    if (row == 0)
        ListView_SetItemState(m_list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

void CFindDeviceDialog::Finish()
{
    const bool searched = m_searching;
    m_searching = m_waiting = false;
    KillTimer(m_hWnd, WaitTimerId);
    CloseTransaction();
    SendDlgItemMessageW(m_hWnd, IDC_FIND_PROGRESS, PBM_SETPOS, m_outputNames.size(), 0);
    if (searched)
        ShowStatus(m_answers.empty() ? LoadResString(IDS_FIND_NONE)
                                     : LoadResString(IDS_FIND_FOUND, {std::to_string(m_answers.size())}));
    SetDlgItemText(IDCANCEL, LoadResString(IDS_FIND_CLOSE));
}

void CFindDeviceDialog::ShowStatus(const std::string& text)
{
    const std::string skipped = m_skipped.empty() ? "" : " " + LoadResString(IDS_FIND_SKIPPED, {Joined(m_skipped)});
    SetDlgItemText(IDC_FIND_STATUS, text + skipped);
}

void CFindDeviceDialog::Stop(int result)
{
    m_searching = m_waiting = false;
    KillTimer(m_hWnd, WaitTimerId);
    CloseTransaction();
    CMidiSender& sender = CMidiSender::Instance();
    sender.Cancel(this);
    if (sender.Carries(this))
    {
        m_endWith = result;
        return;
    }
    EndDialog(result);
}

int CFindDeviceDialog::SelectedRow() const
{
    return ListView_GetNextItem(m_list, -1, LVNI_SELECTED);
}

void CFindDeviceDialog::OnOK()
{
    const int row = SelectedRow();
    if (row < 0 || row >= static_cast<int>(m_answers.size()))
        return;
    m_chosen = m_answers[static_cast<std::size_t>(row)];
    Stop(IDOK);
}

void CFindDeviceDialog::OnCancel()
{
    Stop(IDCANCEL);
}

void CFindDeviceDialog::OnTimer(UINT_PTR id)
{
    if (id != WaitTimerId)
        return CMidiDialog::OnTimer(id);
    AskNextOutput();
}

INT_PTR CFindDeviceDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->idFrom == IDC_FIND_LIST &&
        reinterpret_cast<const NMHDR*>(lParam)->code == LVN_ITEMCHANGED)
        EnableWindow(GetDlgItem(IDOK), SelectedRow() >= 0);
    return CMidiDialog::OnMessage(message, wParam, lParam, handled);
}
