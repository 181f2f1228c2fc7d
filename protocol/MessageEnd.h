#pragma once
#include <cstddef>
#include <vector>

// Offset of the first F7 at or after `position`, or the last byte of the data when no F7
// follows: a bulk file is sent message by message, each message up to and including its F7.
// Requires position < size.
std::size_t FindMessageEnd(const unsigned char* data, std::size_t size, std::size_t position);

// Removes the message without F7 from a bulk file cut as above, for a driver that ends every
// buffer with an F7 (Wine's): the device would get it as a complete, shorter message and
// might store it. Only the last message can lack its F7. Returns that message's position,
// counted from 1 as the bank window numbers its rows, or 0 when every message ends with F7.
std::size_t LeaveOutUnendedMessage(std::vector<unsigned char>& data);
