#pragma once
#include "emulator/EmulatedDevice.h"
#include "emulator/EmulatedInputPort.h"
#include "emulator/OutputLine.h"
#include "midi/MidiDriver.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

// The seam's calls, one each, for failure injection and call counts.
enum class MidiCall
{
    InGetNumDevs,
    InGetDevCaps,
    InOpen,
    InClose,
    InPrepareHeader,
    InUnprepareHeader,
    InAddBuffer,
    InStart,
    InReset,
    OutGetNumDevs,
    OutGetDevCaps,
    OutOpen,
    OutClose,
    OutPrepareHeader,
    OutUnprepareHeader,
    OutLongMsg,
    OutShortMsg,
    OutReset,
};
constexpr std::size_t MidiCallCount = 18;

// A MIDI driver with winmm's contract, cabled to an emulated device: what goes out on any
// output port reaches the device, and what the device sends arrives on the open input port.
// Callbacks for completed buffers come from a worker thread of its own, as with a real
// driver (under the alsa and midisrv lines, MOM_DONE comes inside midiOutLongMsg, as there); the
// open and close notifications come during the opening and closing calls. How messages leave
// for the device, and when they complete, follows the chosen line (see OutputLine).
//
// Everything here is thread safe. Callbacks are made without the driver's lock held, so a
// callback may call the driver again.
class EmulatedMidiDriver : public MidiDriver
{
public:
    using Clock = std::chrono::steady_clock;

    // How long closing an alsa output waits for its kernel buffer to drain.
    static constexpr std::chrono::seconds DrainLimit{10};

    enum class Pace
    {
        FullSpeed,  // no delays
        WireRate,   // 31,250 baud: 3,125 bytes a second in each direction
    };

    // How the output behaves (see OutputLine): the drivers users have.
    using Line = OutputLine::Behaviour;

    struct PortInfo
    {
        std::string name;
        MMRESULT capsResult = MMSYSERR_NOERROR;  // what the capability query answers
    };

    // One message handed to midiOutLongMsg, with the times the turnaround is measured from.
    struct LongMessage
    {
        std::vector<std::uint8_t> bytes;
        Clock::time_point handedOver;
        Clock::time_point done;  // when MOM_DONE was called back
        bool isDone = false;
    };

    explicit EmulatedMidiDriver(EmulatedDevice& device);
    ~EmulatedMidiDriver() override;
    EmulatedMidiDriver(const EmulatedMidiDriver&) = delete;
    EmulatedMidiDriver& operator=(const EmulatedMidiDriver&) = delete;

    // MidiDriver
    UINT midiInGetNumDevs() override;
    MMRESULT midiInGetDevCapsA(UINT_PTR deviceId, LPMIDIINCAPSA caps, UINT size) override;
    MMRESULT midiInOpen(LPHMIDIIN handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                        DWORD flags) override;
    MMRESULT midiInClose(HMIDIIN handle) override;
    MMRESULT midiInPrepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT size) override;
    MMRESULT midiInUnprepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT size) override;
    MMRESULT midiInAddBuffer(HMIDIIN handle, LPMIDIHDR header, UINT size) override;
    MMRESULT midiInStart(HMIDIIN handle) override;
    MMRESULT midiInReset(HMIDIIN handle) override;
    UINT midiOutGetNumDevs() override;
    MMRESULT midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT size) override;
    MMRESULT midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR callback,
                         DWORD_PTR instance, DWORD flags) override;
    MMRESULT midiOutClose(HMIDIOUT handle) override;
    MMRESULT midiOutPrepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT size) override;
    MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT size) override;
    MMRESULT midiOutLongMsg(HMIDIOUT handle, LPMIDIHDR header, UINT size) override;
    MMRESULT midiOutShortMsg(HMIDIOUT handle, DWORD message) override;
    MMRESULT midiOutReset(HMIDIOUT handle) override;

    // Set-up. By default one input and one output port, both named "Emulated device".
    void SetInputPorts(std::vector<PortInfo> ports);
    void SetOutputPorts(std::vector<PortInfo> ports);
    // Where the device is cabled: only what goes out on output port `output` reaches it, and
    // it answers on input port `input` alone. -1 (the default): every output reaches it, and
    // it answers on the input opened first.
    void SetDevicePorts(int output, int input);
    void SetPace(Pace pace);  // full speed until set
    void SetLine(Line line);  // Cable until set
    void SetKernelBufferSize(std::size_t bytes);  // alsa's output buffer, 4096 until set
    // Stalled: this many more long messages complete, then none until midiOutReset.
    void SetStallFrom(std::size_t messages);
    // Input blocks of at most `limit` bytes (0: only full buffers and F7 end a block).
    void SetBlockLimit(std::size_t limit);
    // The limits of the next blocks, one each; after the last, no limit.
    void SetBlockSizes(std::vector<std::size_t> sizes);
    // Asked once per block for its limit (0: none); runs on the worker with the lock held, so
    // it must not call the driver.
    void SetBlockSizeGenerator(std::function<std::size_t()> generator);

    // Lets the next `skip` calls of `call` through, then makes the `times` calls after them
    // fail with `result` (-1: every call until ClearFailures). A failed call changes nothing;
    // a failed count query answers 0.
    void FailCall(MidiCall call, MMRESULT result, int skip = 0, int times = 1);
    void ClearFailures();

    // The next block handed back with MIM_LONGDATA reports `extra` more bytes than it holds,
    // as a faulty driver might.
    void OverstateNextBlock(DWORD extra);
    // Bytes arriving on the input as if the device had sent them.
    void InjectInput(std::vector<std::uint8_t> bytes);
    // Hands back the first queued buffer, as it stands, with MIM_LONGERROR (as soon as an
    // input has started with a buffer queued).
    void InjectLongError();

    // Inspection.
    int OpenInputPortCount() const;
    int OpenOutputPortCount() const;
    int PreparedInputHeaderCount() const;
    int PreparedOutputHeaderCount() const;
    int PreparedHeaderCount() const;
    std::vector<LongMessage> LongMessages() const;
    std::vector<DWORD> ShortMessages() const;
    std::size_t DroppedOutputBytes() const;  // what the alsa kernel buffer had no room for or gave up
    std::vector<OutputLine::TransferRecord> LineTransfers() const;  // when bytes left, not when handed over
    std::size_t DroppedInputBytes() const;   // what found no buffer queued (alsa, midisrv)
    std::size_t HeldInputBytes() const;      // what has arrived and no buffer has brought back yet
    int CallCount(MidiCall call) const;
    // The name of every output port opened, in order: where the program sent.
    std::vector<std::string> OpenedOutputPorts() const;
    // True once nothing is in flight, everything handed over has reached the device and nothing
    // is waiting to be delivered (bytes waiting for a buffer do not count); false if the deadline passes first. Not from a callback: the
    // worker is not idle while it runs one.
    bool WaitUntilIdle(Clock::time_point deadline) const;
    bool WaitUntilIdle(std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // Runs `action` on the device under the driver's lock, so tests can change or read it
    // while the worker runs.
    void WithDevice(const std::function<void(EmulatedDevice&)>& action);

private:
    struct Failure
    {
        MMRESULT result = MMSYSERR_NOERROR;
        int skip = 0;
        int times = 0;
    };

    struct Port
    {
        UINT deviceId = 0;
        DWORD_PTR callback = 0;
        DWORD_PTR instance = 0;
        bool callsBack = false;
        int headersInQueue = 0;  // added or sent, not yet called back
    };

    struct InputPort : Port
    {
        EmulatedInputPort line;
    };

    // A buffer going back to the program; its header stays in the queue until the callback.
    struct Delivery
    {
        std::uint64_t sequence = 0;
        bool input = true;
        std::uintptr_t handle = 0;
        MIDIHDR* header = nullptr;
        UINT message = 0;
        DWORD_PTR param2 = 0;
        std::size_t record = 0;
    };

    struct Callback
    {
        bool input = true;
        std::uintptr_t handle = 0;
        DWORD_PTR function = 0;
        DWORD_PTR instance = 0;
        UINT message = 0;
        DWORD_PTR param1 = 0;
        DWORD_PTR param2 = 0;
    };

    using Lock = std::unique_lock<std::mutex>;

    static std::uintptr_t Key(const void* handle) { return reinterpret_cast<std::uintptr_t>(handle); }
    static std::size_t Index(MidiCall call) { return static_cast<std::size_t>(call); }

    bool Fails(MidiCall call, MMRESULT& result);
    InputPort* FindInput(HMIDIIN handle);
    Port* FindOutput(HMIDIOUT handle);
    std::uintptr_t NewHandle();
    MMRESULT CheckOpen(UINT deviceId, std::size_t portCount, DWORD flags,
                       DWORD allowedFlags) const;
    template <typename PortType, typename Handle>
    MMRESULT OpenPort(MidiCall call, std::map<std::uintptr_t, PortType>& ports,
                      const std::vector<PortInfo>& infos, Handle* handle, UINT deviceId,
                      DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
    template <typename PortType>
    MMRESULT ClosePort(MidiCall call, std::map<std::uintptr_t, PortType>& ports, std::uintptr_t key);
    template <typename Caps>
    MMRESULT GetCaps(MidiCall call, const std::vector<PortInfo>& ports, UINT_PTR deviceId,
                     Caps* caps, UINT size);
    MMRESULT HeaderCall(MidiCall call, std::uintptr_t handle, LPMIDIHDR header, UINT size);
    MMRESULT Prepare(LPMIDIHDR header, UINT size, std::set<MIDIHDR*>& prepared);
    MMRESULT Unprepare(LPMIDIHDR header, UINT size, std::set<MIDIHDR*>& prepared);
    MMRESULT CheckQueueable(LPMIDIHDR header, UINT size) const;
    void QueueHandBacks(std::uintptr_t handle,
                        const std::vector<EmulatedInputPort::HandBack>& handBacks);
    void QueueDone(const OutputLine::Message& message);
    void ApplyIntake(InputPort& port);
    bool DrainOutput(Lock& lock, std::uintptr_t key);
    void TakeFromLine(const std::vector<OutputLine::Arrival>& arrived,
                      const std::vector<OutputLine::Message>& completed, Clock::time_point now);
    void Transmit(const std::vector<EmulatedDevice::Transmission>& transmissions,
                  Clock::time_point now);
    InputPort* ListeningPort();
    bool ReachesDevice(std::uintptr_t output) const;
    void Call(const Callback& callback) const;
    template <typename PortType>
    MMRESULT ReadyToClose(Lock& lock, std::map<std::uintptr_t, PortType>& ports,
                          std::uintptr_t key);
    bool IsCallingBack(std::uintptr_t handle) const;
    void DeliverUpTo(Lock& lock, std::uint64_t sequence);
    bool DeliveredUpTo(std::uint64_t sequence) const;
    void DeliverNext(Lock& lock);
    Clock::duration PerByte() const;
    bool OnWorker() const;

    void Run();
    Clock::time_point Advance(Clock::time_point now);
    Clock::time_point AdvanceInputs(Clock::time_point now);
    bool IsIdle() const;

    EmulatedDevice& m_device;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;           // the worker's
    mutable std::condition_variable m_changed; // everyone waiting on the worker's progress
    std::thread m_worker;
    std::thread::id m_workerId;
    bool m_stopping = false;

    std::vector<PortInfo> m_inputPorts;
    std::vector<PortInfo> m_outputPorts;
    std::map<std::uintptr_t, InputPort> m_inputs;
    std::map<std::uintptr_t, Port> m_outputs;
    std::set<MIDIHDR*> m_preparedIn;
    std::set<MIDIHDR*> m_preparedOut;
    std::uintptr_t m_lastHandle;

    Pace m_pace = Pace::FullSpeed;
    std::function<std::size_t()> m_blockLimits;
    std::array<Failure, MidiCallCount> m_failures{};
    std::array<int, MidiCallCount> m_callCounts{};
    bool m_longErrorPending = false;
    DWORD m_overstatement = 0;

    Line m_line = Line::Cable;
    OutputLine m_outputLine;
    std::size_t m_droppedInput = 0;
    std::deque<Delivery> m_deliveries;
    std::uint64_t m_nextSequence = 1;
    std::vector<Delivery> m_calling;  // deliveries whose callback is running (nested on reset)

    std::vector<LongMessage> m_longMessages;
    std::vector<DWORD> m_shortMessages;
    std::vector<std::string> m_openedOutputs;
    int m_deviceOutput = -1;
    int m_deviceInput = -1;
    std::map<std::uintptr_t, UINT> m_outputNumbers;  // every output handle ever opened, its port
};
