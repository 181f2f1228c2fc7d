// The MIDI setup dialog, run through the main window's setup button handler so that what
// reaches the port state after OK or Cancel is what the program would use.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/MainDialog.h"
#include "dialogs/MidiSetupDialog.h"
#include "framework/Strings.h"
#include "midi/MidiPortState.h"
#include "resources/resource.h"
#include "support/MidiTest.h"
#include "support/ModalHook.h"
#include "support/Pump.h"

namespace
{
using Port = EmulatedMidiDriver::PortInfo;

std::vector<std::string> Entries(const CComboBox& list)
{
    std::vector<std::string> entries;
    for (int i = 0; i < list.GetCount(); ++i)
        entries.push_back(list.GetLBText(i));
    return entries;
}

std::string Unlisted(unsigned port)
{
    return FormatResString(IDS_UNLISTED_PORT_FORMAT, port);
}

std::string RangePrompt()
{
    return FormatPlaceholders(LoadResString(AFX_IDP_PARSE_INT_RANGE), {"1", "16"});
}
}

class MidiSetupTest : public MidiTest
{
protected:
    // Runs the setup button's handler; `action` acts inside the dialog's modal run. A
    // dialog the action leaves open is cancelled, so a test that goes wrong cannot hang.
    void RunSetup(const std::function<void(CMidiSetupDialog&)>& action)
    {
        bool ran = false;
        ModalHook hook([&](CDialog& dialog) {
            auto* setup = dynamic_cast<CMidiSetupDialog*>(&dialog);
            ASSERT_NE(nullptr, setup) << "dialog " << dialog.TemplateId() << " opened";
            ran = true;
            action(*setup);
            if (!dialog.IsEnding())
                dialog.EndDialog(IDCANCEL);
        });
        CMainDialog main;
        main.OnMidiSetup();
        EXPECT_TRUE(ran) << "the setup dialog did not run";
    }

    // Presses a button of the dialog; true when the dialog ended, false when it stayed
    // open after showing a box.
    bool Press(CDialog& dialog, int id)
    {
        const size_t before = m_ui->boxes.size();
        PostMessageA(dialog.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        EXPECT_TRUE(PumpUntil([&] { return dialog.IsEnding() || m_ui->boxes.size() > before; }))
            << "button " << id << " did nothing";
        return dialog.IsEnding();
    }

    static void SetPorts(int deviceNumber, int inputPort, int outputPort)
    {
        PortState().deviceNumber = deviceNumber;
        PortState().inputPort = inputPort;
        PortState().outputPort = outputPort;
    }

    static void ExpectPorts(int deviceNumber, int inputPort, int outputPort)
    {
        EXPECT_EQ(deviceNumber, PortState().deviceNumber);
        EXPECT_EQ(inputPort, PortState().inputPort);
        EXPECT_EQ(outputPort, PortState().outputPort);
    }
};

TEST_F(MidiSetupTest, ListsPortsInDriverOrderAndSelectsTheStoredOnes)
{
    m_driver->SetInputPorts({{"Zeta In"}, {"Alpha In"}});
    m_driver->SetOutputPorts({{"Zeta Out"}, {"Beta Out"}, {"Alpha Out"}});
    SetPorts(4, 1, 2);
    RunSetup([&](CMidiSetupDialog& setup) {
        EXPECT_EQ((std::vector<std::string>{"Zeta In", "Alpha In"}), Entries(setup.m_inputList));
        EXPECT_EQ((std::vector<std::string>{"Zeta Out", "Beta Out", "Alpha Out"}), Entries(setup.m_outputList));
        EXPECT_EQ(1, setup.m_inputList.GetCurSel());
        EXPECT_EQ(2, setup.m_outputList.GetCurSel());
        EXPECT_EQ("4", setup.GetDlgItemText(IDC_DEVICE_NUMBER));
        Press(setup, IDOK);
    });
    EXPECT_TRUE(m_ui->ShowedNothing());
    ExpectPorts(4, 1, 2);
}

// Each port message leaves the dialog open with what was filled so far and no tooltips;
// OK then keeps the port of a list without a selection, and stores the device number typed.
TEST_F(MidiSetupTest, PortProblemsShowTheirMessageAndTheDialogStaysUsable)
{
    const Port silent{"Silent", MMSYSERR_NODRIVER};
    const struct
    {
        std::vector<Port> inputs, outputs;
        UINT message;
        std::vector<std::string> inputEntries, outputEntries;
    } problems[] = {
        {{}, {{"Out"}}, IDS_NO_INPUT_PORTS, {}, {}},
        {{silent, silent}, {{"Out"}}, IDS_NO_INPUT_LISTED, {Unlisted(0), Unlisted(1)}, {}},
        {{{"In"}}, {}, IDS_NO_OUTPUT_PORTS, {"In"}, {}},
        {{{"In"}}, {silent}, IDS_NO_OUTPUT_LISTED, {"In"}, {Unlisted(0)}},
    };
    for (const auto& problem : problems)
    {
        SCOPED_TRACE(problem.message);
        m_ui->boxes.clear();
        m_driver->SetInputPorts(problem.inputs);
        m_driver->SetOutputPorts(problem.outputs);
        SetPorts(3, 1, 2);
        RunSetup([&](CMidiSetupDialog& setup) {
            EXPECT_EQ(problem.inputEntries, Entries(setup.m_inputList));
            EXPECT_EQ(problem.outputEntries, Entries(setup.m_outputList));
            EXPECT_EQ(-1, setup.m_outputList.GetCurSel());
            EXPECT_EQ(nullptr, setup.m_toolTips.m_hWnd);
            setup.SetDlgItemText(IDC_DEVICE_NUMBER, "12");
            EXPECT_TRUE(Press(setup, IDOK));
        });
        EXPECT_TRUE(m_ui->ShowedOnlyString(problem.message, MB_ERROR_BOX));
        ExpectPorts(12, 1, 2);
    }
}

TEST_F(MidiSetupTest, FailedCapabilityQueryKeepsLaterPortsAtTheirNumbers)
{
    m_driver->SetInputPorts({{"In A"}, {"In B", MMSYSERR_NODRIVER}, {"In C"}});
    m_driver->SetOutputPorts({{"Out A", MMSYSERR_NOMEM}, {"Out B"}});
    SetPorts(1, 2, 1);
    RunSetup([&](CMidiSetupDialog& setup) {
        EXPECT_EQ((std::vector<std::string>{"In A", Unlisted(1), "In C"}), Entries(setup.m_inputList));
        EXPECT_EQ((std::vector<std::string>{Unlisted(0), "Out B"}), Entries(setup.m_outputList));
        EXPECT_EQ("In C", setup.m_inputList.GetLBText(setup.m_inputList.GetCurSel()));
        EXPECT_EQ("Out B", setup.m_outputList.GetLBText(setup.m_outputList.GetCurSel()));
        Press(setup, IDOK);
    });
    ExpectPorts(1, 2, 1);

    // A query that fails once, then answers: the entry after it is still port 1.
    m_driver->FailCall(MidiCall::InGetDevCaps, MMSYSERR_ERROR);
    RunSetup([&](CMidiSetupDialog& setup) {
        EXPECT_EQ((std::vector<std::string>{Unlisted(0), Unlisted(1), "In C"}), Entries(setup.m_inputList));
        setup.m_inputList.SetCurSel(0);
        Press(setup, IDOK);
    });
    ExpectPorts(1, 0, 1);

    // A stored index beyond the list leaves no selection, and OK keeps it (never -1, which
    // would open the system's default synthesizer).
    SetPorts(2, 3, 2);
    RunSetup([&](CMidiSetupDialog& setup) {
        EXPECT_EQ(-1, setup.m_inputList.GetCurSel());
        EXPECT_EQ(-1, setup.m_outputList.GetCurSel());
        Press(setup, IDOK);
    });
    ExpectPorts(2, 3, 2);
    EXPECT_TRUE(m_ui->ShowedNothing());
}

TEST_F(MidiSetupTest, RefusesDeviceNumbersOutside1To16)
{
    SetPorts(5, 0, 0);
    RunSetup([&](CMidiSetupDialog& setup) {
        struct Refusal
        {
            const char* text;
            std::string prompt;
            UINT type;
            UINT help;
        };
        const Refusal refusals[] = {
            {"0", RangePrompt(), MB_ERROR_BOX, AFX_IDP_PARSE_INT_RANGE},
            {"17", RangePrompt(), MB_ERROR_BOX, AFX_IDP_PARSE_INT_RANGE},
            {"abc", LoadResString(AFX_IDP_PARSE_INT), MB_NOTE_BOX, AFX_IDP_PARSE_INT},
        };
        for (const Refusal& refusal : refusals)
        {
            SCOPED_TRACE(refusal.text);
            m_ui->boxes.clear();
            setup.SetDlgItemText(IDC_DEVICE_NUMBER, refusal.text);
            EXPECT_FALSE(Press(setup, IDOK));
            EXPECT_TRUE(m_ui->ShowedOnly(refusal.prompt, refusal.type, refusal.help));
        }
        // Still usable after the refusals: the bound itself is accepted.
        m_ui->boxes.clear();
        setup.SetDlgItemText(IDC_DEVICE_NUMBER, "16");
        EXPECT_TRUE(Press(setup, IDOK));
    });
    EXPECT_TRUE(m_ui->ShowedNothing());
    ExpectPorts(16, 0, 0);
}

TEST_F(MidiSetupTest, CancelAfterChangingEveryFieldChangesNothing)
{
    m_driver->SetInputPorts({{"In A"}, {"In B"}, {"In C"}});
    m_driver->SetOutputPorts({{"Out A"}, {"Out B"}, {"Out C"}});
    SetPorts(5, 1, 1);
    const auto changeEverything = [](CMidiSetupDialog& setup) {
        setup.SetDlgItemText(IDC_DEVICE_NUMBER, "9");
        setup.m_inputList.SetCurSel(2);
        setup.m_outputList.SetCurSel(0);
    };
    RunSetup([&](CMidiSetupDialog& setup) {
        changeEverything(setup);
        EXPECT_TRUE(Press(setup, IDCANCEL));
    });
    ExpectPorts(5, 1, 1);

    // A refused OK before the Cancel stores nothing either.
    RunSetup([&](CMidiSetupDialog& setup) {
        changeEverything(setup);
        setup.SetDlgItemText(IDC_DEVICE_NUMBER, "99");
        EXPECT_FALSE(Press(setup, IDOK));
        EXPECT_TRUE(Press(setup, IDCANCEL));
    });
    ExpectPorts(5, 1, 1);

    RunSetup([&](CMidiSetupDialog& setup) {
        changeEverything(setup);
        EXPECT_TRUE(Press(setup, IDOK));
    });
    ExpectPorts(9, 2, 0);
}

TEST_F(MidiSetupTest, SpinStepsByOneBetween1And16)
{
    SetPorts(15, 0, 0);
    RunSetup([&](CMidiSetupDialog& setup) {
        HWND spin = setup.GetDlgItem(IDC_DEVICE_NUMBER_SPIN);
        EXPECT_EQ(MAKELONG(16, 1), SendMessageA(spin, UDM_GETRANGE, 0, 0));
        UDACCEL accel[4] = {};
        ASSERT_EQ(1, SendMessageA(spin, UDM_GETACCEL, 4, reinterpret_cast<LPARAM>(accel)));
        EXPECT_EQ(0u, accel[0].nSec);
        EXPECT_EQ(1u, accel[0].nInc);

        // The arrow keys in the edit step the number and stop at the bounds.
        HWND edit = setup.GetDlgItem(IDC_DEVICE_NUMBER);
        const auto press = [&](WPARAM key, const char* expected) {
            SendMessageA(edit, WM_KEYDOWN, key, 1);
            SendMessageA(edit, WM_KEYUP, key, 0xC0000001);
            EXPECT_EQ(expected, setup.GetDlgItemText(IDC_DEVICE_NUMBER));
        };
        press(VK_UP, "16");
        press(VK_UP, "16");
        setup.SetDlgItemText(IDC_DEVICE_NUMBER, "2");
        press(VK_DOWN, "1");
        press(VK_DOWN, "1");
        Press(setup, IDOK);
    });
    ExpectPorts(1, 0, 0);
}

// Each control has its own tip, owned by the dialog, showing the module's string.
TEST_F(MidiSetupTest, EachControlHasItsOwnTooltip)
{
    RunSetup([&](CMidiSetupDialog& setup) {
        HWND tips = setup.m_toolTips.m_hWnd;
        ASSERT_NE(nullptr, tips);
        EXPECT_EQ(setup.GetSafeHwnd(), GetWindow(tips, GW_OWNER));
        const std::pair<int, UINT> expected[] = {
            {IDOK, IDS_TIP_OK}, {IDCANCEL, IDS_TIP_CANCEL}, {IDC_DEVICE_NUMBER, IDS_TIP_DEVICE_NUMBER},
            {IDC_DEVICE_NUMBER_SPIN, IDS_TIP_DEVICE_NUMBER_SPIN}, {IDC_INPUT_PORT, IDS_TIP_INPUT_PORT},
            {IDC_OUTPUT_PORT, IDS_TIP_OUTPUT_PORT},
        };
        ASSERT_EQ(6, SendMessageA(tips, TTM_GETTOOLCOUNT, 0, 0));
        for (int i = 0; i < 6; ++i)
        {
            SCOPED_TRACE(i);
            TTTOOLINFOA tool{};
            tool.cbSize = TTTOOLINFOA_V2_SIZE;
            ASSERT_TRUE(SendMessageA(tips, TTM_ENUMTOOLSA, i, reinterpret_cast<LPARAM>(&tool)));
            EXPECT_TRUE(tool.uFlags & TTF_IDISHWND);
            EXPECT_EQ(expected[i].first, GetDlgCtrlID(reinterpret_cast<HWND>(tool.uId)));
            // The wide query, because the ANSI one cuts texts at 80 characters.
            wchar_t shown[1024] = {};
            TTTOOLINFOW query{};
            query.cbSize = TTTOOLINFOW_V2_SIZE;
            query.hwnd = tool.hwnd;
            query.uId = tool.uId;
            query.lpszText = shown;
            SendMessageW(tips, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&query));
            char text[1024] = {};
            WideCharToMultiByte(CP_ACP, 0, shown, -1, text, sizeof text, nullptr, nullptr);
            EXPECT_STRNE("", text);
            EXPECT_EQ(LoadResString(expected[i].second), std::string(text));
        }
        Press(setup, IDCANCEL);
    });
}

namespace
{
// What the tooltip window was handed to relay, seen from a subclass of it.
WNDPROC g_tooltipProc = nullptr;
std::vector<MSG> g_relayed;

LRESULT CALLBACK RecordRelays(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == TTM_RELAYEVENT)
        g_relayed.push_back(*reinterpret_cast<const MSG*>(lParam));
    return CallWindowProcA(g_tooltipProc, window, message, wParam, lParam);
}
}

TEST_F(MidiSetupTest, ModalRunHandsMouseMessagesToTheTooltip)
{
    g_relayed.clear();
    HWND okButton = nullptr;
    ModalHook hook([&](CDialog& dialog) {
        auto& setup = static_cast<CMidiSetupDialog&>(dialog);
        okButton = setup.GetDlgItem(IDOK);
        // Handled by the modal loop once this returns, in this order.
        if (setup.m_toolTips.m_hWnd != nullptr)
        {
            g_tooltipProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
                setup.m_toolTips.m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordRelays)));
            PostMessageA(okButton, WM_MOUSEMOVE, 0, MAKELPARAM(3, 4));
        }
        PostMessageA(dialog.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    CMainDialog main;
    main.OnMidiSetup();
    const auto mouseMove = std::find_if(g_relayed.begin(), g_relayed.end(),
                                        [](const MSG& relayed) { return relayed.message == WM_MOUSEMOVE; });
    ASSERT_NE(g_relayed.end(), mouseMove) << g_relayed.size() << " messages relayed";
    EXPECT_EQ(okButton, mouseMove->hwnd);
    EXPECT_EQ(MAKELPARAM(3, 4), mouseMove->lParam);
}
