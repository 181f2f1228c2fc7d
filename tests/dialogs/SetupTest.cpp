// MIDI Setup, run through the main window's handler, so that what reaches the port state
// after OK or Cancel is what the program would use.
#include <windows.h>
#include <commctrl.h>

#include <tuple>

#include "dialogs/FindDeviceDialog.h"
#include "dialogs/MidiSetupDialog.h"
#include "framework/File.h"
#include "framework/Strings.h"
#include "history/DumpHistory.h"
#include "midi/MidiPortState.h"
#include "resources/resource.h"
#include "support/WindowTest.h"
#include "support/ModalHook.h"
#include "support/Pump.h"

namespace
{
using Port = EmulatedMidiDriver::PortInfo;
using Names = std::vector<std::string>;

// What the port state holds: device number, input and output ports (none: the first), pause.
using P = MidiPortId;
using Choice = std::tuple<int, std::optional<P>, std::optional<P>, int>;

struct SetupCase
{
    std::string name;
    std::vector<Port> inputs, outputs;
    Choice before;
    std::function<void(CMidiSetupDialog&)> act;  // ends the dialog, or leaves it to be cancelled
    std::vector<Box> shown;
    Choice after;
    std::function<void(CFindDeviceDialog&)> find = nullptr;  // inside the find window
};

std::string Unlisted(unsigned port) { return FormatResString(IDS_UNLISTED_PORT_FORMAT, port); }
std::string Missing(const std::string& port)
{
    return LoadResString(IDS_PORT_NOT_CONNECTED_ENTRY, {LoadResString(IDS_PORT_NAME, {port})});
}

// OK after checking what the lists hold (and which entries are selected: -1 for none).
std::function<void(CMidiSetupDialog&)> OkAfterLists(Names inputs, Names outputs, int input = -1, int output = -1,
                                                     const char* device = nullptr)
{
    return [=](CMidiSetupDialog& setup) {
        EXPECT_EQ(std::pair(inputs, input), std::pair(setup.m_inputList.Entries(), setup.m_inputList.GetCurSel()));
        EXPECT_EQ(std::pair(outputs, output), std::pair(setup.m_outputList.Entries(), setup.m_outputList.GetCurSel()));
        if (device)
            setup.SetDlgItemText(IDC_DEVICE_NUMBER, device);
        WindowTest::Click(setup, IDOK);
    };
}
}

class SetupTest : public MidiTest
{
protected:
    void Run(const std::vector<SetupCase>& cases)
    {
        for (const SetupCase& c : cases)
        {
            SCOPED_TRACE(c.name);
            Fresh();
            m_driver->SetInputPorts(c.inputs);
            m_driver->SetOutputPorts(c.outputs);
            MidiPortState& state = PortState();
            std::tie(state.deviceNumber, state.inputPort, state.outputPort, state.pauseMs) = c.before;
            ModalHook hook([&](CDialog& dialog) {
                if (dialog.TemplateId() == IDD_FIND_DEVICE)
                    c.find(static_cast<CFindDeviceDialog&>(dialog));
                else
                    c.act(static_cast<CMidiSetupDialog&>(dialog));
                if (!dialog.IsEnding())
                    dialog.EndDialog(IDCANCEL);
            });
            const auto current = [&] {
                return Choice{state.deviceNumber, state.inputPort, state.outputPort, state.pauseMs};
            };
            Choice kept = current();
            CMainDialog main;
            main.m_onMidiSetupChanged = [&] { kept = current(); };
            main.OnMidiSetup();
            EXPECT_EQ(c.shown, m_ui->boxes);
            EXPECT_EQ(c.after, current());
            EXPECT_EQ(c.after, kept) << "the choices were not handed on to be kept";
        }
    }
};

TEST_F(SetupTest, PortListsAndTheirProblems)
{
    const Port silent{"Silent", MMSYSERR_NODRIVER};
    Run({
        {"ports in driver order, the stored ones selected", {{"Zeta In"}, {"Alpha In"}},
         {{"Zeta Out"}, {"Beta Out"}, {"Alpha Out"}}, {4, P{"Alpha In"}, P{"Alpha Out"}, 0},
         OkAfterLists({"Zeta In", "Alpha In"}, {"Zeta Out", "Beta Out", "Alpha Out"}, 1, 2), {},
         {4, P{"Alpha In"}, P{"Alpha Out"}, 0}},
        {"a port whose name cannot be read keeps the later ports at their numbers",
         {{"In A"}, {"In B", MMSYSERR_NODRIVER}, {"In C"}}, {{"Out A", MMSYSERR_NOMEM}, {"Out B"}},
         {1, P{"In C"}, P{"Out B"}, 0}, OkAfterLists({"In A", Unlisted(1), "In C"}, {Unlisted(0), "Out B"}, 2, 1), {},
         {1, P{"In C"}, P{"Out B"}, 0}},
        {"a stored port that is gone is shown so and kept", {{"In"}}, {{"Out"}}, {2, P{"In X"}, P{"Out X"}, 0},
         OkAfterLists({"In", Missing("In X")}, {"Out", Missing("Out X")}, 1, 1), {}, {2, P{"In X"}, P{"Out X"}, 0}},
        // Each direction on its own: the other one can still be chosen.
        {"no input port", {}, {{"Out A"}, {"Out B"}}, {3, std::nullopt, P{"Out A"}, 0},
         OkAfterLists({}, {"Out A", "Out B"}, -1, 0, "12"), {Error(IDS_NO_INPUT_PORTS)},
         {12, std::nullopt, P{"Out A"}, 0}},
        {"no input port answers", {silent, silent}, {{"Out"}}, {3, P{"In"}, P{"Out"}, 0},
         OkAfterLists({Unlisted(0), Unlisted(1), Missing("In")}, {"Out"}, 2, 0, "12"), {Error(IDS_NO_INPUT_LISTED)},
         {12, P{"In"}, P{"Out"}, 0}},
        {"no output port", {{"In"}}, {}, {3, P{"In"}, P{"Out"}, 0}, OkAfterLists({"In"}, {Missing("Out")}, 0, 0, "12"),
         {Error(IDS_NO_OUTPUT_PORTS)}, {12, P{"In"}, P{"Out"}, 0}},
        {"no output port answers", {{"In"}}, {silent}, {3, P{"In"}, P{"Out"}, 0},
         OkAfterLists({"In"}, {Unlisted(0), Missing("Out")}, 0, 1, "12"), {Error(IDS_NO_OUTPUT_LISTED)},
         {12, P{"In"}, P{"Out"}, 0}},
        // The selected port keeps its name and occurrence; one that is gone is shown so and kept.
        {"a device plugged in and one unplugged while the dialog is open", {{"USB"}, {"USB"}}, {{"A"}, {"B"}},
         {1, P{"USB", 1}, P{"B"}, 0}, [this](CMidiSetupDialog& setup) {
             m_driver->SetInputPorts({{"New"}, {"USB"}, {"USB"}});
             m_driver->SetOutputPorts({{"A"}});
             SendMessageW(setup.GetSafeHwnd(), WM_DEVICECHANGE, 0x0007 /* DBT_DEVNODES_CHANGED */, 0);
             OkAfterLists({"New", "USB", "USB"}, {"A", Missing("B")}, 2, 1)(setup);
         }, {}, {1, P{"USB", 1}, P{"B"}, 0}},
    });
}

// The device number and the pause keep to their ranges; Cancel keeps everything as it was.
TEST_F(SetupTest, NumbersAndCancel)
{
    const std::vector<Port> three{{"A"}, {"B"}, {"C"}};
    // Types the values in turn, pressing OK after each.
    const auto typing = [](int field, std::vector<const char*> values, int last = IDOK) {
        return [=](CMidiSetupDialog& setup) {
            setup.m_inputList.SetCurSel(2);
            setup.m_outputList.SetCurSel(0);
            for (const char* value : values)
            {
                setup.SetDlgItemText(field, value);
                WindowTest::Click(setup, IDOK);
            }
            WindowTest::Click(setup, last);
        };
    };
    Run({
        {"device numbers outside 1 to 16 are refused", three, three, {5, P{"B"}, P{"B"}, 0},
         typing(IDC_DEVICE_NUMBER, {"0", "17", "abc", "16"}), {OutOfRange(1, 16), OutOfRange(1, 16), NotANumber()},
         {16, P{"C"}, P{"A"}, 0}},
        {"pauses outside 0 to 1000 ms are refused", three, three, {5, P{"B"}, P{"B"}, 20},
         typing(IDC_PAUSE, {"1001", "-1", "x", "1000"}), {OutOfRange(0, 1000), OutOfRange(0, 1000), NotANumber()},
         {5, P{"C"}, P{"A"}, 1000}},
        {"Cancel after changing everything and a refused OK", three, three, {5, P{"B"}, P{"B"}, 20},
         typing(IDC_PAUSE, {"2000"}, IDCANCEL), {OutOfRange(0, 1000)}, {5, P{"B"}, P{"B"}, 20}},
        {"history sizes outside 1 to 100000 MB are refused; folder (made whole) and size reach the history", three, three,
         {5, P{"B"}, P{"B"}, 20},
         [&](CMidiSetupDialog& setup) {
             setup.SetDlgItemText(IDC_HISTORY_FOLDER, "kept");
             typing(IDC_HISTORY_LIMIT, {"0", "100001", "7"})(setup);
         }, {OutOfRange(1, 100000), OutOfRange(1, 100000)}, {5, P{"C"}, P{"A"}, 20}},
    });
    EXPECT_EQ(FullPath("kept") + " 7", History().Folder() + " " + std::to_string(History().LimitMegabytes()));
}

// The device cabled to output `output` and input `input` as number `number`; Find device is
// pressed, the find window acts, then OK is pressed after checking the lists and the number.
std::function<void(CMidiSetupDialog&)> FindThenOk(MidiTest& t, int output, int input, int number, Names inputs,
                                                  Names outputs, int selectedIn, int selectedOut, const char* device)
{
    return [=, &t](CMidiSetupDialog& setup) {
        t.m_driver->SetDevicePorts(output, input);
        t.WithDevice([=](EmulatedDevice& d) { d.SetDeviceNumber(number); });
        WindowTest::Click(setup, IDC_FIND_DEVICE);
        EXPECT_EQ(device, setup.GetDlgItemText(IDC_DEVICE_NUMBER));
        OkAfterLists(inputs, outputs, selectedIn, selectedOut)(setup);
    };
}

// Waits for the search to end, expects its answers (number|output|input) and its status, then
// presses `button`.
std::function<void(CFindDeviceDialog&)> Found(Names rows, std::string status, int button)
{
    return [=](CFindDeviceDialog& find) {
        EXPECT_TRUE(PumpUntil([&] { return !find.Searching(); }, 20000));
        Names shown;
        for (int row = 0; row < ListView_GetItemCount(find.GetDlgItem(IDC_FIND_LIST)); ++row)
            shown.push_back(WindowTest::ListCell(find.GetDlgItem(IDC_FIND_LIST), row, 0) + "|" +
                            WindowTest::ListCell(find.GetDlgItem(IDC_FIND_LIST), row, 1) + "|" +
                            WindowTest::ListCell(find.GetDlgItem(IDC_FIND_LIST), row, 2));
        EXPECT_EQ(rows, shown);
        EXPECT_EQ(status, find.GetDlgItemText(IDC_FIND_STATUS));
        WindowTest::Click(find, button);
    };
}

// Every output is asked for every device number while every input listens; nothing changes
// until an answer is taken. The device is never on the last output, whose replies are waited
// for least on a busy machine.
TEST_F(SetupTest, FindDevice)
{
    const std::vector<Port> ab{{"In A"}, {"In B"}}, abc{{"Out A"}, {"Out B"}, {"Out C"}};
    const Choice before{1, std::nullopt, std::nullopt, 0};
    const std::string skipped = " " + LoadResString(IDS_FIND_SKIPPED, {"In A, Out A"});
    Run({
        {"number 5 on the second ports is found and taken", ab, abc, before,
         FindThenOk(*this, 1, 1, 5, {"In A", "In B"}, {"Out A", "Out B", "Out C"}, 1, 1, "5"), {},
         {5, P{"In B"}, P{"Out B"}, 0}, Found({"5|Out B|In B"}, LoadResString(IDS_FIND_FOUND, {"1"}), IDOK)},
        {"ports in use are named and skipped; Close changes nothing", ab, abc, before,
         [this](CMidiSetupDialog& setup) {
             m_driver->FailCall(MidiCall::InOpen, MMSYSERR_ALLOCATED);
             m_driver->FailCall(MidiCall::OutOpen, MMSYSERR_ALLOCATED);
             FindThenOk(*this, 1, 1, 16, {"In A", "In B"}, {"Out A", "Out B", "Out C"}, 0, 0, "1")(setup);
         }, {}, {1, P{"In A"}, P{"Out A"}, 0},
         Found({"16|Out B|In B"}, LoadResString(IDS_FIND_FOUND, {"1"}) + skipped, IDCANCEL)},
        {"no answer", ab, abc, before, FindThenOk(*this, 3, 3, 1, {"In A", "In B"}, {"Out A", "Out B", "Out C"}, 0, 0, "1"),
         {}, {1, P{"In A"}, P{"Out A"}, 0}, Found({}, LoadResString(IDS_FIND_NONE), IDOK)},
        {"Cancel stops the search at once", ab, abc, before,
         FindThenOk(*this, 2, 1, 1, {"In A", "In B"}, {"Out A", "Out B", "Out C"}, 0, 0, "1"), {},
         {1, P{"In A"}, P{"Out A"}, 0}, [this](CFindDeviceDialog& find) {
             WindowTest::Click(find, IDCANCEL);
             EXPECT_TRUE(PumpUntil([&] { return find.IsEnding(); }));
             EXPECT_EQ(Names{"Out A"}, m_driver->OpenedOutputPorts());
         }},
    });
}
