#include "CallbackLog.h"

void CALLBACK CallbackLog::InProc(HMIDIIN handle, UINT message, DWORD_PTR instance,
                                  DWORD_PTR param1, DWORD_PTR param2)
{
    reinterpret_cast<CallbackLog*>(instance)->Record(
        message, reinterpret_cast<std::uintptr_t>(handle), param1, param2);
}

void CALLBACK CallbackLog::OutProc(HMIDIOUT handle, UINT message, DWORD_PTR instance,
                                   DWORD_PTR param1, DWORD_PTR param2)
{
    reinterpret_cast<CallbackLog*>(instance)->Record(
        message, reinterpret_cast<std::uintptr_t>(handle), param1, param2);
}

DWORD_PTR CallbackLog::Instance()
{
    return reinterpret_cast<DWORD_PTR>(this);
}

DWORD_PTR CallbackLog::InCallback() const
{
    return reinterpret_cast<DWORD_PTR>(&InProc);
}

DWORD_PTR CallbackLog::OutCallback() const
{
    return reinterpret_cast<DWORD_PTR>(&OutProc);
}

void CallbackLog::SetReaction(std::function<void(const Entry&)> reaction)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reaction = std::move(reaction);
}

std::vector<CallbackLog::Entry> CallbackLog::Entries() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries;
}

std::vector<CallbackLog::Entry> CallbackLog::Entries(UINT message) const
{
    std::vector<Entry> matching;
    for (Entry& entry : Entries())
    {
        if (entry.message == message)
            matching.push_back(std::move(entry));
    }
    return matching;
}

std::size_t CallbackLog::Count(UINT message) const
{
    return Entries(message).size();
}

bool CallbackLog::WaitForCount(UINT message, std::size_t count,
                               std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] {
        std::size_t seen = 0;
        for (const Entry& entry : m_entries)
            seen += entry.message == message ? 1 : 0;
        return seen >= count;
    });
}

std::vector<std::uint8_t> CallbackLog::ReceivedBytes() const
{
    std::vector<std::uint8_t> bytes;
    for (const Entry& entry : Entries(MIM_LONGDATA))
        bytes.insert(bytes.end(), entry.bytes.begin(), entry.bytes.end());
    return bytes;
}

void CallbackLog::Record(UINT message, std::uintptr_t handle, DWORD_PTR param1,
                         DWORD_PTR param2)
{
    Entry entry;
    entry.message = message;
    entry.handle = handle;
    entry.param2 = param2;
    entry.thread = std::this_thread::get_id();
    const bool buffer = message == MIM_LONGDATA || message == MIM_LONGERROR || message == MOM_DONE;
    if (buffer)
    {
        entry.header = reinterpret_cast<MIDIHDR*>(param1);
        entry.flags = entry.header->dwFlags;
        if (message != MOM_DONE)
        {
            const auto* data = reinterpret_cast<const std::uint8_t*>(entry.header->lpData);
            entry.bytes.assign(data, data + entry.header->dwBytesRecorded);
        }
    }
    std::function<void(const Entry&)> reaction;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_entries.push_back(entry);
        reaction = m_reaction;
    }
    m_changed.notify_all();
    if (reaction)
        reaction(entry);
}
