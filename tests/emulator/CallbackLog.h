#pragma once
#include <windows.h>
#include <mmsystem.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A plain MIDI callback for the driver tests: records every call, from whatever thread it
// comes, and lets the test wait for what it expects with a deadline.
class CallbackLog
{
public:
    struct Entry
    {
        UINT message = 0;
        std::uintptr_t handle = 0;
        MIDIHDR* header = nullptr;  // param1 of the buffer messages
        DWORD_PTR param2 = 0;
        std::vector<std::uint8_t> bytes;  // the recorded bytes of a returned input buffer
        DWORD flags = 0;                  // the header's flags as seen in the callback
        std::thread::id thread;
    };

    static void CALLBACK InProc(HMIDIIN handle, UINT message, DWORD_PTR instance,
                                DWORD_PTR param1, DWORD_PTR param2);
    static void CALLBACK OutProc(HMIDIOUT handle, UINT message, DWORD_PTR instance,
                                 DWORD_PTR param1, DWORD_PTR param2);

    DWORD_PTR Instance();
    DWORD_PTR InCallback() const;
    DWORD_PTR OutCallback() const;

    // Runs in the callback, after recording, on the driver's thread.
    void SetReaction(std::function<void(const Entry&)> reaction);

    std::vector<Entry> Entries() const;
    std::vector<Entry> Entries(UINT message) const;
    std::size_t Count(UINT message) const;
    bool WaitForCount(UINT message, std::size_t count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // Every returned input block's bytes, in order.
    std::vector<std::uint8_t> ReceivedBytes() const;

private:
    void Record(UINT message, std::uintptr_t handle, DWORD_PTR param1, DWORD_PTR param2);

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Entry> m_entries;
    std::function<void(const Entry&)> m_reaction;
};
