#include "emulator/SysExAssembler.h"

#include "protocol/SysExMessages.h"

namespace
{
// Clock and transport bytes may interleave with a System Exclusive message on a real cable.
bool IsRealTime(std::uint8_t byte)
{
    return byte >= 0xF8;
}

bool IsStatus(std::uint8_t byte)
{
    return byte >= 0x80;
}
}

void SysExAssembler::Feed(const std::uint8_t* bytes, std::size_t size,
                          std::vector<Message>& completed)
{
    for (std::size_t i = 0; i < size; ++i)
    {
        const std::uint8_t byte = bytes[i];
        if (IsRealTime(byte))
            continue;
        if (byte == SysEx::Start)
        {
            // A new start abandons an unfinished message, as a device's receiver does.
            m_message.assign(1, byte);
            m_inMessage = true;
        }
        else if (byte == SysEx::End)
        {
            if (m_inMessage)
            {
                m_message.push_back(byte);
                completed.push_back(std::move(m_message));
                Clear();
            }
        }
        else if (IsStatus(byte))
        {
            // Any other status byte ends System Exclusive mode without completing the message.
            Clear();
        }
        else if (m_inMessage)
        {
            m_message.push_back(byte);
        }
    }
}

void SysExAssembler::Clear()
{
    m_message.clear();
    m_inMessage = false;
}
