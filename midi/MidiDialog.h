#pragma once
#include <windows.h>
#include <mmsystem.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "framework/Dialog.h"
#include "midi/MidiEvent.h"
#include "protocol/DumpBuffer.h"

constexpr UINT_PTR ReplyTimerId = 1;
constexpr UINT_PTR LineWaitTimerId = 5;
constexpr UINT_PTR OverdueTimerId = 6;
// What the file dialogs offer for a dump file.
constexpr char SysExFileFilter[] = "Sysex files (*.syx)|*.syx|All files (*.*)|*.*||";
constexpr UINT DefaultReplyTimeoutMs = 5000;
// How long a window waits for the first block of a reply. Tests shorten it.
UINT ReplyTimeoutMs();
void SetReplyTimeoutMs(UINT milliseconds);
constexpr UINT DefaultOverdueGraceMs = 3000;
// How long after its last byte should have left the line a message that the driver has not
// completed is given up. Tests shorten it.
UINT OverdueGraceMs();
void SetOverdueGraceMs(UINT milliseconds);

// Base of every window that talks MIDI: opens the ports for one transaction, receives a
// single SysEx reply into its dump buffer, closes the output once a message has gone out,
// and times out when no reply starts within five seconds.
//
// Driver callbacks never do the work themselves: they queue a MidiEvent and post
// WM_MIDI_EVENT, and every handler below runs on the window's thread, in arrival order.
class CMidiDialog : public CDialog
{
public:
    CMidiDialog(UINT templateId, CDialog* parent);
    ~CMidiDialog() override;

    virtual void OnMidiIn(HMIDIIN handle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);
    virtual void OnMidiOut(HMIDIOUT handle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);
    virtual void EnableControls(BOOL enable);

    // Nonzero when both ports are open and input has started; 0 after reporting a failure.
    int OpenPorts(unsigned length);
    // Nonzero when the output port is open with its header prepared over `length` bytes of
    // `data` (null: the output buffer); 0 after reporting.
    int OpenOutputPort(unsigned length, unsigned char* data = nullptr);
    void CloseInputPort();
    // Opens the output port for one message of any length: one longer than the output buffer
    // goes whole from a buffer of its own under Wine (where each piece would arrive as a
    // broken message), once the user has agreed, and in pieces elsewhere. 0 when it will not
    // be sent (refused, or reported).
    int OpenOutputPortFor(const std::vector<unsigned char>& message);
    // Hands the prepared output buffer to the driver as one message once the line is free by
    // the wire clock (at once when it is); its completion comes to OnMidiOut. A message the
    // driver has not completed when it is overdue is taken back and reported as failed.
    // FALSE when the driver refused it: then the refusal has been reported and the
    // transaction closed (nothing is in the driver, no header prepared, no port open).
    BOOL SendOutputBuffer();
    // midiOutLongMsg on the output header now, the wire clock told; FALSE as above.
    BOOL HandOverOutputBuffer();
    // Runs `action` once the line is free by the wire clock: at once, or from a timer.
    void WhenLineFree(std::function<void()> action);
    // Starts the reply time-out, counted from when the request goes out; FALSE when no timer
    // could be had.
    BOOL StartReplyTimer();
    // Closes whatever a transaction left open: timer, output (with its header), input.
    void CloseTransaction();
    // FALSE, after saying so, while the previous message is still in the driver or waits for
    // the line: another operation on the port would cut it short or change its buffer.
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
    // Requests the dump to compare with m_expectedReply; the reply (or its absence) is said.
    BOOL RequestComparison(unsigned requestLength, void (*buildRequest)(unsigned char*, int, int), int number);
    // The completion action of a comparison.
    int CompareReply();
    // After the program dump now being sent has gone out, requests `slot` back and compares.
    void CompareAfterSend(const std::vector<unsigned char>& dump, int slot);
    // Runs once, when the message being sent has gone out; a new transaction drops it.
    std::function<void()> m_afterSend;

    // Called from the driver's thread, with MidiRoutingLock held. Returns the window to post
    // WM_MIDI_EVENT to once the lock is released (null: none is needed).
    HWND QueueMidiEventLocked(const MidiEvent& event);
    // Handles every queued event now (in order); used before a transaction is ended by the
    // user, so that nothing the driver already delivered is lost.
    void DeliverPendingMidiEvents();

    BOOL m_timedOut = FALSE;
    DumpBuffer m_dumpBuffer;
    int (CMidiDialog::*m_completionAction)() = nullptr;
    std::string* m_targetFile = nullptr;
    BOOL m_inputReset = FALSE;  // the input port is being closed

protected:
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR id) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void OnDestroy() override;

    // The block of an input callback when it holds bytes; null for any other callback. A
    // malformed message or an empty block is dropped, its buffer queued again, so that the
    // buffers stay in the rotation. `recorded` receives the block's byte count, never
    // more than the buffer holds, whatever the driver reports.
    MIDIHDR* ReceivedBlock(HMIDIIN handle, UINT message, DWORD_PTR param1, DWORD& recorded);
    // Gives a returned input buffer back to the driver (release, clear, prepare, add).
    BOOL RequeueInputBuffer(HMIDIIN handle, MIDIHDR* header);
    // Takes back what the driver holds: a driver that hands a buffer back only at F7 or when
    // it is full keeps a message still arriving where no window sees it. Resets the input and
    // returns, in order, every block it handed back and any handed over before and not yet
    // handled; their buffers stay prepared, out of the driver. Only a window that stores what
    // arrived asks for them; every other reset just releases them (CloseInputPort).
    std::vector<MIDIHDR*> TakeBackInputBlocks();
    // Queues every input buffer again and restarts input after TakeBackInputBlocks.
    BOOL RestartInput();
    // The bytes a block holds, never more than its buffer, whatever the driver reports.
    static DWORD RecordedBytes(const MIDIHDR& header);
    // Shows the device's error text (or the general one when the module has none).
    void ShowErrorReply();
    // TRUE when the dump buffer could not be prepared at initialisation: the dialog is
    // ending and must not start a transfer.
    BOOL m_initFailed = FALSE;

private:
    // One attempt at storing the dump; FALSE after saying why it failed.
    BOOL WriteDumpTo(const std::string& target);
    BOOL m_saving = FALSE;
    void CloseOutputPort(HMIDIOUT handle);
    // Takes back a message still in the driver, releases the output header, closes the port.
    void ReleaseOutputPort();
    // TRUE when the driver has already handed over a block of the reply that this window
    // has not handled yet (it waits behind a message box, for instance).
    BOOL ReplyBlockWaiting();
    // Resets the input, releases every input header the driver handed back and closes it.
    void ReleaseInputPort();
    void OnLineFree();
    // A single message the driver has still not completed long after its wire time.
    void OnOverdue();

    std::function<void()> m_lineWaitAction;  // what waits for the line
    // A message longer than the output buffer, and how much of it has been handed over.
    std::vector<unsigned char> m_longMessage;
    std::size_t m_longHandedOver = 0;

    // Both guarded by MidiRoutingLock: the events the driver has handed over, and the window
    // they are posted to (null before the window exists and after it has gone).
    std::deque<MidiEvent> m_events;
    HWND m_eventWindow = nullptr;
    bool m_delivering = false;
};
