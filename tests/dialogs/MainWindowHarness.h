#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "dialogs/MainDialog.h"
#include "midi/MidiApp.h"
#include "support/ModalHook.h"
#include "support/Pump.h"
#include "support/MidiTest.h"

// Runs the main window as the program does at start-up (current MIDI window, main window
// of the application), modally and hidden, on the emulated device. A test acts inside the
// modal run; the window is closed with Cancel once the action returns.
class MainWindowHarness : public MidiTest
{
protected:
    using Bytes = std::vector<std::uint8_t>;

    void SetUp() override;
    void TearDown() override;

    // DoModal's result.
    INT_PTR RunMainWindow(const std::function<void(CMainDialog&)>& action);
    // How a dialog that the main window opens (selector, about box...) is answered. A
    // dialog without an answer is recorded in m_otherDialogs and cancelled.
    void AnswerDialog(UINT templateId, std::function<void(CDialog&)> action);

    // Runs a MIDI dialog modally as the current MIDI window; `during` acts inside the run and
    // is expected to end it: a dialog still running afterwards fails the test and is
    // cancelled (a transfer ends after its piece in flight). Returns DoModal's result.
    template <typename Dialog>
    static INT_PTR RunMidiDialog(Dialog& dialog, const std::function<void(Dialog&)>& during)
    {
        ModalHook hook([&](CDialog& started) {
            if (&started != &dialog)
                return;
            if (during)
                during(dialog);
            if (!dialog.IsEnding())
            {
                ADD_FAILURE() << "the dialog was still running";
                Press(dialog, IDCANCEL);
                PumpUntil([&] { return dialog.IsEnding(); }, 20000);
            }
        });
        SetCurrentMidiWindow(&dialog);
        const INT_PTR result = dialog.DoModal();
        SetCurrentMidiWindow(nullptr);
        return result;
    }

    // A button press as the dialog manager reports it; returns when the handler has run.
    static void Press(CDialog& dialog, int id);
    static void Type(CDialog& dialog, int id, const std::string& text);
    static std::string TextOf(CDialog& dialog, int id);
    // Identifier of the control that has the keyboard focus (0: none of this thread).
    static int FocusedId();
    // The selection of an edit control, as EM_GETSEL reports it.
    static std::pair<DWORD, DWORD> Selection(CDialog& dialog, int id);

    // Pumps until `count` boxes have been shown.
    bool WaitForBoxes(size_t count, unsigned timeoutMs = 5000);
    // Pumps until the driver has nothing in flight and no port is open.
    bool WaitForPortsClosed(unsigned timeoutMs = 5000);
    // Every long message handed to the driver, in order.
    std::vector<Bytes> SentMessages() const;
    // The text of a numbered string with its %1, %2... replaced.
    static std::string Formatted(UINT id, std::initializer_list<std::string> inserts);

    // The emulated device, reached under the driver's lock.
    void SetReplyMode(EmulatedDevice::ReplyMode mode);
    Bytes ProgramMessage(int number);
    Bytes DeviceBulkDump();
    DeviceMemory DeviceSnapshot();

    std::vector<UINT> m_otherDialogs;

private:
    std::map<UINT, std::function<void(CDialog&)>> m_dialogAnswers;
};
