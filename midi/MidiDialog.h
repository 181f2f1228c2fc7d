#pragma once
#include <windows.h>
#include <mmsystem.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "framework/Dialog.h"
#include "history/DumpHistory.h"
#include "midi/MidiEvent.h"
#include "midi/MidiReceiver.h"
#include "midi/MidiSender.h"
#include "protocol/DumpBuffer.h"

constexpr UINT_PTR ReplyTimerId = 1;
// What the file dialogs offer for a dump file.
constexpr char SysExFileFilter[] = "Sysex files (*.syx)|*.syx|All files (*.*)|*.*||";
constexpr UINT DefaultReplyTimeoutMs = 5000;
// How long a window waits for the first block of a reply. Tests shorten it.
UINT ReplyTimeoutMs();
void SetReplyTimeoutMs(UINT milliseconds);
// The text a dump holds (DumpText), cut to ShownTextLength characters and "..." for a line
// that names the dump.
constexpr std::size_t ShownTextLength = 24;
std::string ShownDumpText(const unsigned char* dump, std::size_t length);
// What a dump is called (`what`), followed by the text it holds when it holds any.
std::string WithDumpText(const std::string& what, const unsigned char* dump, std::size_t length);

// What a send overwrote on the device: the dump that was there, and where (a program slot, or
// an algorithm's number).
struct OverwrittenDump
{
    HistoryKind kind = HistoryKind::Program;
    int number = 0;
    std::vector<unsigned char> bytes;
};
// What the last send with a backup overwrote in this run; none before such a send.
const std::optional<OverwrittenDump>& LastOverwritten();
void ForgetLastOverwritten();
// How a place on the device is named in a sentence: "Slot 5", "Algorithm 3".
std::string StoredName(HistoryKind kind, int number);

// Base of every window that talks MIDI: one transaction at a time, its messages handed to the
// sender (CMidiSender) and its reply collected through the receiver (CMidiReceiver) into the
// window's dump buffer, with a time-out when no reply starts within five seconds. A window
// closed while its message is on its way closes once the message has gone out.
//
// Input callbacks never do the work themselves: they queue a MidiEvent and post WM_MIDI_EVENT,
// and every handler below runs on the window's thread, in arrival order.
class CMidiDialog : public CDialog, public MidiSendListener
{
public:
    CMidiDialog(UINT templateId, CDialog* parent);
    ~CMidiDialog() override;

    virtual void OnMidiIn(HMIDIIN handle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);
    virtual void OnMidiOut(HMIDIOUT handle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);
    virtual void EnableControls(BOOL enable);

    // Nonzero when both ports are open and input has started; 0 after reporting a failure.
    int OpenPorts(unsigned length);
    // Nonzero when the output port is open for a message of `length` bytes of `data` (null:
    // the output buffer), written there before SendOutputBuffer; 0 after reporting.
    int OpenOutputPort(unsigned length, unsigned char* data = nullptr);
    void CloseInputPort();
    // Opens the output port for one message of any length. One longer than the output buffer
    // goes only once the user has agreed under Wine, where it goes whole. 0 when it will not be
    // sent (refused, or reported).
    int OpenOutputPortFor(const std::vector<unsigned char>& message);
    // Hands the message the port was opened for to the sender; its end comes to OnSendEnded.
    // FALSE when it failed at once: then the failure has been reported and the transaction
    // closed.
    BOOL SendOutputBuffer();
    // After OpenPorts: sends the request `build` writes (`length` bytes, for this device).
    BOOL SendRequest(unsigned length, const std::function<void(unsigned char*, int)>& build);
    // Opens the output and sends `message` (a short message too); FALSE after reporting.
    BOOL SendToDevice(const std::vector<unsigned char>& message);
    // Starts the reply time-out, counted from when the request goes out; FALSE when no timer
    // could be had.
    BOOL StartReplyTimer();
    // Closes what a transaction left open: the reply timer and the input. A message on its way
    // goes on: the sender closes the output once it has left.
    void CloseTransaction();
    // FALSE, after saying so, while the previous message is still being handed to the driver:
    // another operation would have to wait behind it.
    BOOL OutputIsFree();

    // The completion action of every receive: writes the dump buffer to *m_targetFile, or,
    // when that fails, where the user chooses instead.
    int SaveDumpToFile();
    // FALSE, after saying why, when a dump could not be saved as `target`: checked before
    // anything is requested.
    BOOL CheckSaveTarget(const std::string& target);
    BOOL IsSaving() const { return m_saving; }

    // Comparing a dump with the device: the bytes expected back, how many header bytes a send
    // rewrites (left out), and the name the result gives them.
    std::vector<unsigned char> m_expectedReply;
    std::size_t m_compareSkip = 0;
    std::string m_comparedName;
    // Asks the device for program `number` (else algorithm `number`); `action` completes the
    // reply. FALSE after saying why the request did not go out.
    BOOL RequestStored(bool program, int number, int (CMidiDialog::*action)());
    // The request half of every single-dump reply: `build` writes it for this device.
    BOOL RequestDump(unsigned requestLength, void (*build)(unsigned char*, int, int), int number,
                     int (CMidiDialog::*action)());
    // Asks the device for `kind` `number` and says whether it holds `expected` (its header
    // left out); `name` names it in the result.
    BOOL CompareWithDevice(HistoryKind kind, int number, const std::vector<unsigned char>& expected,
                           const std::string& name);
    // The completion action of a comparison.
    int CompareReply();
    // What runs once a program dump sent to `slot` has gone out: requests the slot back (after
    // the pause, as any message) and compares.
    std::function<void()> CompareAfterSend(const std::vector<unsigned char>& dump, int slot);
    // Runs once, when the next message handed to the sender has left the line whole; set
    // before SendOutputBuffer, dropped by a new transaction.
    std::function<void()> m_afterSend;
    // How a message of this window ended: a failure is reported and its transaction closed.
    void OnSendEnded(const SendResult& result) override;

    // Sends a program dump to slot `number`, or an algorithm dump (whose own number is
    // `number`), addressed to this device. When the history keeps backups, the device is asked
    // first for what it holds there, and the history keeps the answer; without a usable answer
    // the user decides whether to send anyway. `afterSend` runs once the dump has left whole.
    BOOL SendOverwriting(HistoryKind kind, int number, const std::vector<unsigned char>& dump,
                         std::function<void()> afterSend);
    // Runs `dialog` modally as the window the driver's events go to; this window again after.
    INT_PTR RunMidiDialog(CMidiDialog& dialog);

    // Called from the driver's thread, with MidiRoutingLock held. Returns the window to post
    // WM_MIDI_EVENT to once the lock is released (null: none is needed).
    HWND QueueMidiEventLocked(const MidiEvent& event);
    // Handles every queued event now (in order); used before a transaction is ended by the
    // user, so that nothing the driver already delivered is lost.
    void DeliverPendingMidiEvents();

    BOOL m_timedOut = FALSE;
    DumpBuffer m_dumpBuffer;
    // What SaveDumpToFile stores when not the reply in m_dumpBuffer (the bank's Save As), so
    // that a reply arriving meanwhile has a buffer of its own.
    const DumpBuffer* m_saveFrom = nullptr;
    int (CMidiDialog::*m_completionAction)() = nullptr;
    std::string* m_targetFile = nullptr;

protected:
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR id) override;
    // While this window's message is on its way, the window closes once it has gone out.
    void OnCancel() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void OnDestroy() override;

    // The receiver's Block and Requeue (see CMidiReceiver).
    MIDIHDR* ReceivedBlock(HMIDIIN handle, UINT message, DWORD_PTR param1, DWORD& recorded);
    BOOL RequeueInputBuffer(HMIDIIN handle, MIDIHDR* header);
    // The receiver's TakeBack over this window's events. Only a window that stores what
    // arrived asks for them; every other reset just releases them (CloseInputPort).
    std::vector<CMidiReceiver::HeldBlock> TakeBackInputBlocks() { return CMidiReceiver::Instance().TakeBack(m_events); }
    // Says why a port or the driver refused (the driver's number where the text has a place).
    static void ShowRefusal(UINT refusal, MMRESULT driverResult = MMSYSERR_NOERROR);
    // Shows the device's error text (or the general one when the module has none).
    void ShowErrorReply();
    std::string ErrorReplyText() const;
    // For a window whose buttons follow a selection: while it waits for the device only Cancel
    // stays usable, to give the wait up; afterwards `bySelection` enables the buttons again.
    void EnableAllButCancel(BOOL enable, const std::function<void()>& bySelection);
    // TRUE when the dump buffer could not be prepared at initialisation: the dialog is
    // ending and must not start a transfer.
    BOOL m_initFailed = FALSE;

private:
    // A send waiting for the backup of what it overwrites.
    struct PendingOverwrite
    {
        HistoryKind kind;
        int number;
        std::vector<unsigned char> message;  // addressed to the device
        std::function<void()> afterSend;
        std::vector<unsigned char> backup;
    };
    std::optional<PendingOverwrite> m_overwrite;
    bool m_overwriteWaits = false;
    // The completion action of a backup's request: keeps the reply, then sends.
    int KeepBackup();
    // `afterRequest`: the device has answered this window's request for the backup.
    BOOL SendPendingOverwrite(bool afterRequest);
    // When a backup was awaited: asks whether to send without it (`why` says what happened).
    // FALSE when none was awaited, so that the caller reports `why` as usual.
    BOOL BackupFailed(const std::string& why);

    // One attempt at storing the dump; FALSE after saying why it failed.
    BOOL WriteDumpTo(const std::string& target);
    BOOL m_saving = FALSE;
    // TRUE when the driver has already handed over a block of the reply that this window
    // has not handled yet (it waits behind a message box, for instance).
    BOOL ReplyBlockWaiting();
    const DumpBuffer& DumpToSave() const { return m_saveFrom != nullptr ? *m_saveFrom : m_dumpBuffer; }

    // The message the output was opened for: its bytes, or where they are and how many.
    std::vector<unsigned char> m_message;
    unsigned char* m_messageData = nullptr;
    unsigned m_messageLength = 0;
    bool m_closeWhenSent = false;
    // The m_afterSend of each message handed to the sender and not yet ended, in order.
    std::deque<std::function<void()>> m_sentActions;

    // Both guarded by MidiRoutingLock: the events the driver has handed over, and the window
    // they are posted to (null before the window exists and after it has gone).
    std::deque<MidiEvent> m_events;
    HWND m_eventWindow = nullptr;
    bool m_delivering = false;
};
