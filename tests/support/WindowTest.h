#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "dialogs/MainDialog.h"
#include "support/MidiTest.h"

class WindowTest;

// One case of a table of window tests: what is there before, what the user does, and what
// must be shown, sent and left in the folder afterwards. Each case starts afresh (device,
// driver, folder, port state) and ends with no port open and no header prepared.
struct WindowCase
{
    std::string name;
    std::function<void(WindowTest&)> arrange;            // files, device, driver (may be empty)
    std::function<void(WindowTest&, CMainDialog&)> act;  // the user's part, in the main window
    std::vector<Box> shown;                              // every box, in order
    std::vector<MidiTest::Bytes> sent;                   // every long message, in order
    std::map<std::string, MidiTest::Bytes> files;        // files made or changed (the others stay)
    std::vector<std::string> logged;                     // the MIDI log's rows (LogRows), when given
};

// Runs the main window as the program does (current MIDI window, the application's main
// window), modally and hidden, on the emulated device.
class WindowTest : public MidiTest
{
public:
    void Run(const std::vector<WindowCase>& cases);

    // DoModal's result; the window is closed with Cancel once `act` returns.
    INT_PTR RunMainWindow(const std::function<void(CMainDialog&)>& act);
    // How the next dialogs of a template that the main window opens are run: `act` acts
    // inside their modal run. A dialog nobody answers is recorded and cancelled.
    void OnDialog(UINT templateId, std::function<void(CDialog&)> act);

    // A click: the button takes the focus, its handler runs, and whatever it started is
    // waited for (the driver idle, every port closed).
    void Press(CDialog& dialog, int id);
    // The same without waiting.
    static void Click(CDialog& dialog, int id);
    // A key pressed in a control, as the modal loop hands it to the dialog.
    static void PressKey(CDialog& dialog, int id, WPARAM key);
    // The same with Ctrl held down.
    static void PressCtrlKey(CDialog& dialog, int id, WPARAM key);
    // Enter pressed twice in a control, quickly: the second press is queued before the first
    // is handled, and like all keyboard input it goes to whatever has the focus when read.
    static void EnterTwice(CDialog& dialog, int id);
    // The MIDI log window's rows as shown: direction|port|message|size.
    static std::vector<std::string> LogRows(CMainDialog& window);
    // A cell's text as a list view shows it.
    static std::string ListCell(HWND list, int row, int column);
    // A key pressed and released, read by whatever has the focus when it is read.
    static void TypeKey(WPARAM key);
    static int FocusedId();
    static std::vector<int> EnabledControls(CDialog& dialog);
    // True when `id` has the focus with its whole text selected, as after a refused field.
    static bool FocusedAndSelected(CDialog& dialog, int id);
    bool WaitFor(const std::function<bool()>& condition, unsigned timeoutMs = 10000);
    void Settle();
    void Answer(std::initializer_list<int> answers) { m_ui->answers = answers; }
    // An arrangement that writes one file into the folder.
    static std::function<void(WindowTest&)> With(const std::string& name, const Bytes& bytes);

    std::vector<UINT> m_unansweredDialogs;

private:
    std::map<UINT, std::function<void(CDialog&)>> m_dialogActs;
};
