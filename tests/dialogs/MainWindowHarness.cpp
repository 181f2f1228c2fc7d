#include "MainWindowHarness.h"

#include "framework/File.h"
#include "framework/Strings.h"
#include "framework/WinApp.h"
#include "midi/MidiApp.h"
#include "support/ModalHook.h"
#include "support/Pump.h"

void MainWindowHarness::SetUp()
{
    MidiTest::SetUp();
}

void MainWindowHarness::TearDown()
{
    CFile::SetFaultHook(nullptr);
    MidiTest::TearDown();
}

INT_PTR MainWindowHarness::RunMainWindow(const std::function<void(CMainDialog&)>& action)
{
    CMainDialog dialog;
    SetCurrentMidiWindow(&dialog);
    AfxGetApp()->m_pMainWnd = &dialog;
    ModalHook hook([&](CDialog& started) {
        if (&started != &dialog)
        {
            const auto answer = m_dialogAnswers.find(started.TemplateId());
            if (answer != m_dialogAnswers.end())
            {
                answer->second(started);
                return;
            }
            m_otherDialogs.push_back(started.TemplateId());
            PostMessageA(started.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            return;
        }
        action(dialog);
        if (!dialog.IsEnding())
            PostMessageA(dialog.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    const INT_PTR result = dialog.DoModal();
    SetCurrentMidiWindow(nullptr);
    AfxGetApp()->m_pMainWnd = nullptr;
    return result;
}

void MainWindowHarness::AnswerDialog(UINT templateId, std::function<void(CDialog&)> action)
{
    m_dialogAnswers[templateId] = std::move(action);
}

void MainWindowHarness::Press(CDialog& dialog, int id)
{
    SendMessageA(dialog.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(dialog.GetDlgItem(id)));
}

void MainWindowHarness::Type(CDialog& dialog, int id, const std::string& text)
{
    dialog.SetDlgItemText(id, text);
}

std::string MainWindowHarness::TextOf(CDialog& dialog, int id)
{
    return dialog.GetDlgItemText(id);
}

int MainWindowHarness::FocusedId()
{
    HWND focus = GetFocus();
    return focus != nullptr ? GetDlgCtrlID(focus) : 0;
}

std::pair<DWORD, DWORD> MainWindowHarness::Selection(CDialog& dialog, int id)
{
    DWORD start = 0;
    DWORD end = 0;
    SendMessageA(dialog.GetDlgItem(id), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
}

bool MainWindowHarness::WaitForBoxes(size_t count, unsigned timeoutMs)
{
    return PumpUntil([&] { return m_ui->boxes.size() >= count; }, timeoutMs);
}

bool MainWindowHarness::WaitForPortsClosed(unsigned timeoutMs)
{
    return PumpUntil(
        [&] {
            return m_driver->WaitUntilIdle(std::chrono::milliseconds(0)) && m_driver->OpenInputPortCount() == 0 &&
                   m_driver->OpenOutputPortCount() == 0;
        },
        timeoutMs);
}

std::vector<MainWindowHarness::Bytes> MainWindowHarness::SentMessages() const
{
    std::vector<Bytes> messages;
    for (const auto& message : m_driver->LongMessages())
        messages.push_back(message.bytes);
    return messages;
}

std::string MainWindowHarness::Formatted(UINT id, std::initializer_list<std::string> inserts)
{
    return FormatPlaceholders(LoadResString(id), inserts);
}

void MainWindowHarness::SetReplyMode(EmulatedDevice::ReplyMode mode)
{
    m_driver->WithDevice([mode](EmulatedDevice& device) { device.SetReplyMode(mode); });
}

MainWindowHarness::Bytes MainWindowHarness::ProgramMessage(int number)
{
    Bytes message;
    m_driver->WithDevice([&](EmulatedDevice& device) { message = device.ProgramMessage(number); });
    return message;
}

MainWindowHarness::Bytes MainWindowHarness::DeviceBulkDump()
{
    Bytes dump;
    m_driver->WithDevice([&](EmulatedDevice& device) { dump = device.BulkDump(); });
    return dump;
}

DeviceMemory MainWindowHarness::DeviceSnapshot()
{
    DeviceMemory memory;
    m_driver->WithDevice([&](EmulatedDevice& device) { memory = device.Snapshot(); });
    return memory;
}
