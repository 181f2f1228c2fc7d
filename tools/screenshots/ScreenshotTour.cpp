// Opens the demo's windows one after another for scripts/screenshots.sh. For each one it
// prints "shot <name> <window title>" and waits for a line on its input: the script's word
// that the picture has been taken. The demo runs at the pace of a real cable, so that the
// bulk transfers are caught running.
#include <iostream>
#include <string>

#include "DemoProcess.h"
#include "TempFolder.h"
#include "UiDriver.h"
#include "emulator/EmulatedDevice.h"
#include "framework/Settings.h"
#include "resources/resource.h"

namespace
{
class Tour
{
public:
    explicit Tour(UiDriver& ui) : m_ui(ui) {}

    // Has the window painted, then its picture taken.
    bool Shot(const std::string& name, HWND window)
    {
        if (window == nullptr)
            return Fail("no window for " + name);
        // The paint request is sent, so it returns once the window has painted itself; the
        // second message returns once its thread is back in its message loop, which passes
        // the picture on to the display.
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        DWORD_PTR result = 0;
        SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
        std::cout << "shot " << name << ' ' << UiDriver::Title(window) << std::endl;
        std::string reply;
        return std::getline(std::cin, reply) ? true : Fail("no reply from the script");
    }

    bool Close(HWND window, int button)
    {
        m_ui.Press(window, button);
        return m_ui.WaitUntilGone(window) ? true : Fail("a window did not close");
    }

    static bool Fail(const std::string& what)
    {
        std::cout << "error " << what << std::endl;
        return false;
    }

private:
    UiDriver& m_ui;
};

bool RunTour(UiDriver& ui, const TempFolder& folder)
{
    Tour tour(ui);
    HWND main = ui.WaitForDialogWithControl(IDC_RECEIVE_PROGRAM);
    if (!tour.Shot("main-window", main))
        return false;

    ui.Press(main, IDC_MIDI_SETUP);
    HWND setup = ui.WaitForDialogWithControl(IDC_DEVICE_NUMBER);
    ui.SetText(setup, IDC_PAUSE, "150");
    if (!tour.Shot("midi-setup", setup))
        return false;
    // Find device on the demo's four port pairs, once it has asked them all.
    ui.Press(setup, IDC_FIND_DEVICE);
    HWND find = ui.WaitForDialogWithControl(IDC_FIND_LIST);
    if (find == nullptr ||
        !ui.WaitUntil([&] { return ui.Text(find, IDCANCEL) == "Close"; }, std::chrono::seconds(60)))
        return Tour::Fail("Find device did not end");
    if (!tour.Shot("find-device", find) || !tour.Close(find, IDCANCEL) || !tour.Close(setup, IDCANCEL))
        return false;

    ui.SystemCommand(main, IDM_ABOUTBOX);
    HWND about = ui.WaitForDialogWithControl(IDC_OS_VERSION);
    if (!tour.Shot("about", about) || !tour.Close(about, IDOK))
        return false;

    // The MIDI log beside the bulk receive, filling as the messages arrive.
    ui.SystemCommand(main, IDM_MIDI_LOG);
    HWND log = ui.WaitForDialogWithControl(IDC_LOG_LIST);
    ui.SetText(main, IDC_RECEIVE_BULK_FILE, folder.File("BulkDump.syx"));
    ui.Press(main, IDC_RECEIVE_BULK);
    HWND receive = ui.WaitForDialogWithControl(IDC_RECEIVED_COUNT);
    if (receive == nullptr || !ui.WaitUntil([&] { return ui.Text(receive, IDC_RECEIVED_COUNT) != "0"; }))
        return Tour::Fail("the bulk receive did not start");
    if (!tour.Shot("bulk-receive", receive))
        return false;
    if (log == nullptr || !ui.WaitUntil([&] { return std::stoul("0" + ui.Text(receive, IDC_RECEIVED_COUNT)) > 8000; },
                                        std::chrono::seconds(30)))
        return Tour::Fail("the MIDI log did not open, or the bulk receive stopped");
    if (!tour.Shot("midi-log", log) || !tour.Close(log, IDCANCEL))
        return false;
    // Cancel asks before it discards what has arrived.
    ui.Press(receive, IDCANCEL);
    if (!tour.Close(ui.WaitForMessageBox().window, IDYES) || !ui.WaitUntilGone(receive))
        return Tour::Fail("the bulk receive did not close");

    const std::string bulkFile = folder.File("Everything.syx");
    TempFolder::WriteBytes(bulkFile, EmulatedDevice().BulkDump());
    ui.SetText(main, IDC_SEND_BULK_FILE, bulkFile);
    ui.Press(main, IDC_SEND_BULK);
    HWND send = ui.WaitForDialogWithControl(IDC_SENT_COUNT);
    if (send == nullptr)
        return Tour::Fail("the bulk send dialog did not appear");
    // Send backs the device up first; once that has started, it is cancelled and the send
    // goes without it, so as not to wait for the whole memory at the wire rate.
    ui.Press(send, IDOK);
    HWND backup = ui.WaitForDialogWithControl(IDC_RECEIVE_INTRO);
    if (backup == nullptr || !ui.WaitUntil([&] { return std::stoul("0" + ui.Text(backup, IDC_RECEIVED_COUNT)) > 5000; }))
        return Tour::Fail("the backup before the bulk send did not get going");
    if (!tour.Shot("bulk-backup", backup) || !tour.Close(backup, IDCANCEL))
        return false;
    PostMessageA(GetDlgItem(send, IDC_BACK_UP_FIRST), BM_SETCHECK, BST_UNCHECKED, 0);
    ui.Press(send, IDOK);
    // Far enough for the progress and the time left to show.
    if (!ui.WaitUntil([&] { return std::stoul("0" + ui.Text(send, IDC_SENT_COUNT)) > 20000; },
                      std::chrono::seconds(30)))
        return Tour::Fail("the bulk send did not get going");
    if (!tour.Shot("bulk-send", send))
        return false;
    // Cancel ends at a message boundary and says how many messages went out.
    ui.Press(send, IDCANCEL);
    if (!tour.Close(ui.WaitForMessageBox().window, IDOK) || !ui.WaitUntilGone(send))
        return Tour::Fail("the bulk send did not close");

    ui.Press(main, IDC_BANK);
    HWND bank = ui.WaitForDialogWithControl(IDC_BANK_LIST);
    if (bank == nullptr)
        return Tour::Fail("the bank window did not appear");
    for (int row = 0; row < 3; ++row)
        ui.Key(bank, IDC_BANK_LIST, VK_DOWN);
    if (!tour.Shot("bank", bank) || !tour.Close(bank, IDCANCEL))
        return false;

    // A program sent to slot 5: what the slot held is backed up in the history first.
    const std::string programFile = folder.File("Program.syx");
    TempFolder::WriteBytes(programFile, EmulatedDevice().ProgramMessage(17));
    ui.SetText(main, IDC_SEND_PROGRAM_FILE, programFile);
    ui.SetText(main, IDC_SEND_PROGRAM_SLOT, "5");
    ui.Press(main, IDC_SEND_PROGRAM);
    if (!ui.WaitUntil([&] { return ui.Text(main, IDC_STATUS).find("slot 5") != std::string::npos; }))
        return Tour::Fail("the program did not go out");
    ui.Press(main, IDC_HISTORY);
    HWND history = ui.WaitForDialogWithControl(IDC_HISTORY_LIST);
    if (!tour.Shot("history", history) || !tour.Close(history, IDCANCEL))
        return false;

    ui.Press(main, IDC_COMMAND22);
    HWND selector = ui.WaitForDialogWithControl(IDC_SELECTOR_FIRST);
    if (!tour.Shot("selector", selector) || !tour.Close(selector, IDCANCEL))
        return false;

    ui.Press(main, IDC_COMMAND21);
    const UiDriver::MessageBoxInfo question = ui.WaitForMessageBox();
    if (!tour.Shot("message-box", question.window) || !tour.Close(question.window, IDNO))
        return false;

    ui.Press(main, IDCANCEL);
    return true;
}
}

int main()
{
    // Settings of its own: what a user of this machine's demo chose does not show.
    const std::string settingsKey = "Software\\SysEx Dump Screenshots";
    CSettings(settingsKey).DeleteAll();
    TempFolder folder;
    // A history of this tour's own, not the one of earlier runs.
    CSettings(settingsKey).WriteString("HistoryFolder", folder.File("history"));
    DemoProcess demo;
    if (!demo.Start(DemoProcess::BesideThisProgram("SysExDumpDemo.exe"), folder.Path(),
                    {{"SYSEXDUMP_DEMO_SETTINGS_KEY", settingsKey}}))
    {
        Tour::Fail("the demo cannot be started");
        return 1;
    }
    UiDriver ui(demo.Id());
    if (!RunTour(ui, folder))
        return 1;
    if (!demo.WaitForExit(std::chrono::seconds(20)))
    {
        Tour::Fail("the demo did not end");
        return 1;
    }
    CSettings(settingsKey).DeleteAll();
    std::cout << "done" << std::endl;
    return 0;
}
