#include "midi/MidiReceiver.h"

#include <algorithm>

#include "framework/MessageBox.h"
#include "midi/MidiApp.h"
#include "midi/ChosenPort.h"
#include "midi/MidiCallbacks.h"
#include "midi/MidiDriver.h"
#include "midi/MidiPortState.h"
#include "resources/resource.h"

namespace
{
constexpr UINT HeaderSize = sizeof(MIDIHDR);

void PrepareFields(MIDIHDR& header, unsigned char* buffer)
{
    header = MIDIHDR{};
    header.lpData = reinterpret_cast<LPSTR>(buffer);
    header.dwBufferLength = MidiBufferSize;
}

DWORD RecordedBytes(const MIDIHDR& header)
{
    return std::min<DWORD>(header.dwBytesRecorded, std::min<DWORD>(header.dwBufferLength, MidiBufferSize));
}
}

CMidiReceiver& CMidiReceiver::Instance()
{
    static CMidiReceiver receiver;
    return receiver;
}

UINT CMidiReceiver::Open()
{
    const int port = ChosenPortNow(PortDirection::Input);
    if (port < 0)
        return RefusalShown;
    MidiPortState& state = PortState();
    ++state.inputOpening;
    return Start(port, state.inputHandle, state.inputHeaders, state.inputBuffers, MidiInputBufferCount);
}

UINT CMidiReceiver::Start(int port, HMIDIIN& handle, MIDIHDR* headers, unsigned char* const* buffers, int count)
{
    MidiDriver& driver = Midi();
    HMIDIIN input = nullptr;
    if (const MMRESULT opened = driver.midiInOpen(&input, port, reinterpret_cast<DWORD_PTR>(MidiInProc), 0,
                                                  CALLBACK_FUNCTION | MIDI_IO_STATUS);
        opened != MMSYSERR_NOERROR)
        return opened == MMSYSERR_ALLOCATED ? IDS_INPUT_IN_USE : IDS_INPUT_OPEN_FAILED;
    handle = input;
    // Any failure from here on takes back every buffer queued so far.
    UINT failure = 0;
    for (int i = 0; i < count && failure == 0; ++i)
    {
        MIDIHDR& header = headers[i];
        PrepareFields(header, buffers[i]);
        if (driver.midiInPrepareHeader(input, &header, HeaderSize) != MMSYSERR_NOERROR)
            failure = IDS_INPUT_PREPARE_FAILED;
        else if (driver.midiInAddBuffer(input, &header, HeaderSize) != MMSYSERR_NOERROR)
            failure = IDS_INPUT_ADD_FAILED;
    }
    if (failure == 0 && driver.midiInStart(input) != MMSYSERR_NOERROR)
        failure = IDS_INPUT_START_FAILED;
    if (failure != 0)
        Close();
    return failure;
}

std::vector<UINT> CMidiReceiver::OpenEvery()
{
    Close();
    MidiPortState& state = PortState();
    ++state.inputOpening;
    std::vector<UINT> refusals;
    const UINT count = Midi().midiInGetNumDevs();
    for (UINT port = 0; port < count; ++port)
    {
        auto listener = std::make_unique<Listener>();
        listener->port = static_cast<int>(port);
        listener->bytes.resize(ListenerBufferCount * MidiBufferSize);
        unsigned char* buffers[ListenerBufferCount];
        for (int i = 0; i < ListenerBufferCount; ++i)
            buffers[i] = listener->bytes.data() + i * MidiBufferSize;
        // Kept before it starts: a failure after the opening closes every port, this one too.
        Listener* added = listener.get();
        m_listeners.push_back(std::move(listener));
        const UINT refusal = Start(added->port, added->handle, added->headers, buffers, ListenerBufferCount);
        refusals.push_back(refusal);
        if (refusal == 0)
            continue;
        if (!m_listeners.empty() && m_listeners.back().get() == added && added->handle == nullptr)
            m_listeners.pop_back();  // not opened: in use, or refused by its driver
        else
            break;  // the driver failed with the port open: everything is closed already
    }
    return refusals;
}

int CMidiReceiver::PortOf(HMIDIIN handle) const
{
    for (const auto& listener : m_listeners)
        if (listener->handle == handle)
            return listener->port;
    return -1;
}

bool CMidiReceiver::Shut(HMIDIIN handle, MIDIHDR* headers, int count)
{
    // The reset hands the queued buffers back; they are released right here instead of
    // being appended or queued again, and once the port is closed its events are stale.
    m_closing = true;
    Midi().midiInReset(handle);
    for (int i = 0; i < count; ++i)
    {
        if ((headers[i].dwFlags & MHDR_PREPARED) && Midi().midiInUnprepareHeader(handle, &headers[i], HeaderSize))
            AfxMessageBox(IDS_INPUT_UNPREPARE_FAILED, MB_ERROR_BOX);
    }
    m_closing = false;
    const MMRESULT closed = Midi().midiInClose(handle);
    return closed == MMSYSERR_NOERROR || closed == MMSYSERR_INVALHANDLE;
}

void CMidiReceiver::Close()
{
    MidiPortState& state = PortState();
    if (state.inputHandle == nullptr && m_listeners.empty())
        return;
    if (state.inputHandle != nullptr && Shut(state.inputHandle, state.inputHeaders, MidiInputBufferCount))
        state.inputHandle = nullptr;
    // A port that would not close keeps its buffers: the driver may still write into them.
    m_listeners.erase(std::remove_if(m_listeners.begin(), m_listeners.end(),
                                     [this](const std::unique_ptr<Listener>& listener) {
                                         return listener->handle == nullptr ||
                                                Shut(listener->handle, listener->headers, ListenerBufferCount);
                                     }),
                      m_listeners.end());
    ++state.inputOpening;
}

MIDIHDR* CMidiReceiver::Block(HMIDIIN handle, UINT message, DWORD_PTR param1, DWORD& recorded)
{
    MIDIHDR* header = reinterpret_cast<MIDIHDR*>(param1);
    if (message != MIM_LONGDATA && message != MIM_LONGERROR)
        return nullptr;
    recorded = RecordedBytes(*header);
    if (message == MIM_LONGERROR || recorded == 0)
    {
        Requeue(handle, header);
        return nullptr;
    }
    return header;
}

BOOL CMidiReceiver::Requeue(HMIDIIN handle, MIDIHDR* header)
{
    MidiDriver& driver = Midi();
    unsigned char* data = reinterpret_cast<unsigned char*>(header->lpData);
    if (!Release(handle, header))
        return FALSE;
    PrepareFields(*header, data);
    if (driver.midiInPrepareHeader(handle, header, HeaderSize) != MMSYSERR_NOERROR)
    {
        AfxMessageBox(IDS_INPUT_UNPREPARE_FAILED, MB_ERROR_BOX);
        return FALSE;
    }
    if (driver.midiInAddBuffer(handle, header, HeaderSize) != MMSYSERR_NOERROR)
    {
        AfxMessageBox(IDS_INPUT_ADD_FAILED, MB_ERROR_BOX);
        return FALSE;
    }
    return TRUE;
}

BOOL CMidiReceiver::Release(HMIDIIN handle, MIDIHDR* header)
{
    if (Midi().midiInUnprepareHeader(handle, header, HeaderSize) == MMSYSERR_NOERROR)
        return TRUE;
    AfxMessageBox(IDS_INPUT_UNPREPARE_FAILED, MB_ERROR_BOX);
    return FALSE;
}

std::vector<CMidiReceiver::HeldBlock> CMidiReceiver::TakeBack(std::deque<MidiEvent>& pending)
{
    MidiPortState& state = PortState();
    std::vector<HeldBlock> blocks;
    if (state.inputHandle == nullptr)
        return blocks;
    // The driver hands every queued buffer back before the reset returns.
    Midi().midiInReset(state.inputHandle);
    std::lock_guard<std::mutex> lock(MidiRoutingLock());
    for (auto event = pending.begin(); event != pending.end();)
    {
        if (!event->input || event->opening != state.inputOpening)
        {
            ++event;
            continue;
        }
        // A reset may hand a buffer cut short back as an error: its bytes arrived all the same.
        if (event->message == MIM_LONGDATA || event->message == MIM_LONGERROR)
        {
            const MIDIHDR& header = *reinterpret_cast<const MIDIHDR*>(event->param1);
            if (const DWORD recorded = RecordedBytes(header))
                blocks.push_back({header.lpData, recorded});
        }
        event = pending.erase(event);
    }
    return blocks;
}

BOOL CMidiReceiver::Restart()
{
    MidiPortState& state = PortState();
    if (state.inputHandle == nullptr)
        return FALSE;
    for (MIDIHDR& header : state.inputHeaders)
    {
        if (!Requeue(state.inputHandle, &header))
            return FALSE;
    }
    if (Midi().midiInStart(state.inputHandle) == MMSYSERR_NOERROR)
        return TRUE;
    AfxMessageBox(IDS_INPUT_START_FAILED, MB_ERROR_BOX);
    return FALSE;
}
