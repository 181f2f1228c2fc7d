#include "support/WindowTest.h"

#include <commctrl.h>

#include "framework/Unicode.h"
#include "framework/WinApp.h"
#include "midi/MidiApp.h"
#include "midi/MidiLog.h"
#include "resources/resource.h"
#include "support/ModalHook.h"
#include "support/Pump.h"

void WindowTest::Run(const std::vector<WindowCase>& cases)
{
    for (const WindowCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        Fresh();
        m_dialogActs.clear();
        m_unansweredDialogs.clear();
        if (c.arrange)
            c.arrange(*this);
        // The files the case starts with stay as they are unless it says otherwise.
        std::map<std::string, Bytes> files = c.files;
        files.merge(Files());
        TheMidiLog().Clear();
        RunMainWindow([&](CMainDialog& window) {
            if (!c.logged.empty())
                SendMessageA(window.GetSafeHwnd(), WM_SYSCOMMAND, IDM_MIDI_LOG, 0);
            if (c.act)
                c.act(*this, window);
            EXPECT_TRUE(c.logged.empty() || WaitFor([&] { return LogRows(window) == c.logged; }, 10000))
                << testing::PrintToString(LogRows(window));
        });
        ExpectNothingLeftOpen();
        EXPECT_EQ(c.shown, m_ui->boxes);
        EXPECT_EQ(c.sent, Sent());
        EXPECT_EQ(files, Files());
        EXPECT_TRUE(m_unansweredDialogs.empty()) << "dialog " << m_unansweredDialogs.front() << " was not expected";
    }
}

std::function<void(WindowTest&)> WindowTest::With(const std::string& name, const Bytes& bytes)
{ return [name, bytes](WindowTest& t) { t.WriteFile(name, bytes); }; }

INT_PTR WindowTest::RunMainWindow(const std::function<void(CMainDialog&)>& act)
{
    CMainDialog window;
    SetCurrentMidiWindow(&window);
    AfxGetApp()->m_pMainWnd = &window;
    ModalHook hook([&](CDialog& started) {
        if (&started == &window)
        {
            act(window);
            if (!window.IsEnding())
                PostMessageA(window.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            return;
        }
        const auto answer = m_dialogActs.find(started.TemplateId());
        if (answer != m_dialogActs.end() && answer->second)
            return answer->second(started);
        m_unansweredDialogs.push_back(started.TemplateId());
        PostMessageA(started.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    const INT_PTR result = window.DoModal();
    SetCurrentMidiWindow(nullptr);
    AfxGetApp()->m_pMainWnd = nullptr;
    return result;
}

void WindowTest::OnDialog(UINT templateId, std::function<void(CDialog&)> act) { m_dialogActs[templateId] = std::move(act); }

void WindowTest::Click(CDialog& dialog, int id)
{
    HWND control = dialog.GetDlgItem(id);
    SetFocus(control);
    SendMessageA(dialog.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

void WindowTest::PressKey(CDialog& dialog, int id, WPARAM key)
{
    HWND control = dialog.GetDlgItem(id);
    SetFocus(control);
    MSG message{control, WM_KEYDOWN, key, 1, 0, {}};
    if (!dialog.PreTranslateMessage(&message))
        DispatchMessageW(&message);
}

void WindowTest::PressCtrlKey(CDialog& dialog, int id, WPARAM key)
{
    BYTE keys[256] = {};
    keys[VK_CONTROL] = 0x80, SetKeyboardState(keys);
    PressKey(dialog, id, key);
    keys[VK_CONTROL] = 0, SetKeyboardState(keys);
}

void WindowTest::TypeKey(WPARAM key)
{
    static const HHOOK toFocus = SetWindowsHookExW(WH_GETMESSAGE, [](int code, WPARAM remove, LPARAM lParam) {
        MSG* message = reinterpret_cast<MSG*>(lParam);
        if (code == HC_ACTION && (message->message == WM_KEYDOWN || message->message == WM_KEYUP) && GetFocus())
            message->hwnd = GetFocus();
        return CallNextHookEx(nullptr, code, remove, lParam);
    }, nullptr, GetCurrentThreadId());
    EXPECT_NE(nullptr, toFocus);
    PostMessageW(GetFocus(), WM_KEYDOWN, key, 1);
    PostMessageW(GetFocus(), WM_KEYUP, key, 0xC0000001);
}

void WindowTest::EnterTwice(CDialog& dialog, int id)
{
    SetFocus(dialog.GetDlgItem(id));
    TypeKey(VK_RETURN);
    PressKey(dialog, id, VK_RETURN);
    MSG message;
    if (PeekMessageW(&message, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE) && !dialog.PreTranslateMessage(&message))
        DispatchMessageW(&message);
}

void WindowTest::Press(CDialog& dialog, int id) { Click(dialog, id); Settle(); }

void WindowTest::Settle()
{
    EXPECT_TRUE(WaitFor([&] {
        return m_driver->WaitUntilIdle(std::chrono::milliseconds(0)) && m_driver->OpenInputPortCount() == 0 &&
               m_driver->OpenOutputPortCount() == 0;
    })) << "the transfer did not end";
    PumpUntil([] { return false; }, 20);
}

bool WindowTest::WaitFor(const std::function<bool()>& condition, unsigned timeoutMs) { return PumpUntil(condition, timeoutMs); }

std::vector<std::string> WindowTest::LogRows(CMainDialog& window)
{
    window.m_log.Refresh();
    std::vector<std::string> rows;
    HWND list = window.m_log.GetDlgItem(IDC_LOG_LIST);
    for (int row = 0; row < ListView_GetItemCount(list); ++row)
    {
        std::string text;
        for (int column = 1; column < 5; ++column)
            text += (column > 1 ? "|" : "") + ListCell(list, row, column);
        rows.push_back(text);
    }
    return rows;
}

std::string WindowTest::ListCell(HWND list, int row, int column)
{
    wchar_t text[256] = {};
    LVITEMW item{};
    item.iSubItem = column, item.pszText = text, item.cchTextMax = 256;
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return Narrow(text);
}

int WindowTest::FocusedId() { return GetFocus() != nullptr ? GetDlgCtrlID(GetFocus()) : 0; }

std::vector<int> WindowTest::EnabledControls(CDialog& dialog)
{
    std::vector<int> enabled;
    for (HWND child = GetWindow(dialog.GetSafeHwnd(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (IsWindowEnabled(child))
            enabled.push_back(GetDlgCtrlID(child));
    return enabled;
}

bool WindowTest::FocusedAndSelected(CDialog& dialog, int id)
{
    DWORD start = 0, end = 0;
    SendMessageA(dialog.GetDlgItem(id), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return FocusedId() == id && start == 0 && end == static_cast<DWORD>(GetWindowTextLengthA(dialog.GetDlgItem(id)));
}
