// The emulated driver's set-up, failure injection and inspection for tests; the winmm calls
// live in EmulatedMidiDriverContract.cpp (handles, headers, opening and closing),
// EmulatedMidiDriverInput.cpp and EmulatedMidiDriverOutput.cpp, the worker that moves
// bytes and makes the callbacks in EmulatedMidiDriverWorker.cpp.
#include "emulator/EmulatedMidiDriver.h"

#include <deque>
#include <memory>

void EmulatedMidiDriver::SetInputPorts(std::vector<PortInfo> ports)
{
    Lock lock(m_mutex);
    m_inputPorts = std::move(ports);
}

void EmulatedMidiDriver::SetOutputPorts(std::vector<PortInfo> ports)
{
    Lock lock(m_mutex);
    m_outputPorts = std::move(ports);
}

void EmulatedMidiDriver::SetDevicePorts(int output, int input)
{
    Lock lock(m_mutex);
    m_deviceOutput = output;
    m_deviceInput = input;
}

std::vector<std::string> EmulatedMidiDriver::OpenedOutputPorts() const
{
    Lock lock(m_mutex);
    return m_openedOutputs;
}

void EmulatedMidiDriver::SetPace(Pace pace)
{
    Lock lock(m_mutex);
    m_pace = pace;
}

void EmulatedMidiDriver::SetLine(Line line)
{
    Lock lock(m_mutex);
    m_line = line;
    m_outputLine.SetBehaviour(line);
    for (auto& input : m_inputs)
        ApplyIntake(input.second);
}

void EmulatedMidiDriver::SetKernelBufferSize(std::size_t bytes)
{
    Lock lock(m_mutex);
    m_outputLine.SetKernelBufferSize(bytes);
}

void EmulatedMidiDriver::SetStallFrom(std::size_t messages)
{
    Lock lock(m_mutex);
    m_outputLine.SetStallFrom(messages);
}

void EmulatedMidiDriver::SetBlockLimit(std::size_t limit)
{
    SetBlockSizeGenerator([limit] { return limit; });
}

void EmulatedMidiDriver::SetBlockSizes(std::vector<std::size_t> sizes)
{
    auto remaining = std::make_shared<std::deque<std::size_t>>(sizes.begin(), sizes.end());
    SetBlockSizeGenerator([remaining]() -> std::size_t {
        if (remaining->empty())
            return 0;
        const std::size_t next = remaining->front();
        remaining->pop_front();
        return next;
    });
}

void EmulatedMidiDriver::SetBlockSizeGenerator(std::function<std::size_t()> generator)
{
    Lock lock(m_mutex);
    m_blockLimits = std::move(generator);
}

void EmulatedMidiDriver::FailCall(MidiCall call, MMRESULT result, int skip, int times)
{
    Lock lock(m_mutex);
    m_failures[Index(call)] = {result, skip, times};
}

void EmulatedMidiDriver::ClearFailures()
{
    Lock lock(m_mutex);
    m_failures.fill({});
}

void EmulatedMidiDriver::InjectInput(std::vector<std::uint8_t> bytes)
{
    Lock lock(m_mutex);
    Transmit({{std::move(bytes), false}}, Clock::now());
    m_wake.notify_one();
}

void EmulatedMidiDriver::OverstateNextBlock(DWORD extra)
{
    Lock lock(m_mutex);
    m_overstatement = extra;
}

void EmulatedMidiDriver::InjectLongError()
{
    Lock lock(m_mutex);
    m_longErrorPending = true;
    m_wake.notify_one();
}

int EmulatedMidiDriver::OpenInputPortCount() const
{
    Lock lock(m_mutex);
    return static_cast<int>(m_inputs.size());
}

int EmulatedMidiDriver::OpenOutputPortCount() const
{
    Lock lock(m_mutex);
    return static_cast<int>(m_outputs.size());
}

int EmulatedMidiDriver::PreparedInputHeaderCount() const
{
    Lock lock(m_mutex);
    return static_cast<int>(m_preparedIn.size());
}

int EmulatedMidiDriver::PreparedOutputHeaderCount() const
{
    Lock lock(m_mutex);
    return static_cast<int>(m_preparedOut.size());
}

int EmulatedMidiDriver::PreparedHeaderCount() const
{
    Lock lock(m_mutex);
    return static_cast<int>(m_preparedIn.size() + m_preparedOut.size());
}

std::vector<EmulatedMidiDriver::LongMessage> EmulatedMidiDriver::LongMessages() const
{
    Lock lock(m_mutex);
    return m_longMessages;
}

std::vector<DWORD> EmulatedMidiDriver::ShortMessages() const
{
    Lock lock(m_mutex);
    return m_shortMessages;
}

std::size_t EmulatedMidiDriver::DroppedOutputBytes() const
{
    Lock lock(m_mutex);
    return m_outputLine.DroppedBytes();
}

std::vector<OutputLine::TransferRecord> EmulatedMidiDriver::LineTransfers() const
{
    Lock lock(m_mutex);
    return m_outputLine.Transfers();
}

std::size_t EmulatedMidiDriver::DroppedInputBytes() const
{
    Lock lock(m_mutex);
    return m_droppedInput;
}

std::size_t EmulatedMidiDriver::HeldInputBytes() const
{
    Lock lock(m_mutex);
    std::size_t held = 0;
    for (const auto& entry : m_inputs)
        held += entry.second.line.ArrivedBy(Clock::now());
    return held;
}

int EmulatedMidiDriver::CallCount(MidiCall call) const
{
    Lock lock(m_mutex);
    return m_callCounts[Index(call)];
}

bool EmulatedMidiDriver::WaitUntilIdle(Clock::time_point deadline) const
{
    Lock lock(m_mutex);
    return m_changed.wait_until(lock, deadline, [this] { return IsIdle(); });
}

bool EmulatedMidiDriver::WaitUntilIdle(std::chrono::milliseconds timeout) const
{
    return WaitUntilIdle(Clock::now() + timeout);
}

void EmulatedMidiDriver::WithDevice(const std::function<void(EmulatedDevice&)>& action)
{
    Lock lock(m_mutex);
    action(m_device);
    m_wake.notify_one();
}
