#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Collects whole System Exclusive messages from a MIDI byte stream that arrives in pieces of
// any size: the program sends long dumps in several pieces, and the device acts on a message
// only once its F7 has arrived.
class SysExAssembler
{
public:
    using Message = std::vector<std::uint8_t>;

    // Every message that these bytes complete is appended to `completed`, F0 and F7 included.
    void Feed(const std::uint8_t* bytes, std::size_t size, std::vector<Message>& completed);
    void Clear();

private:
    Message m_message;
    bool m_inMessage = false;
};
