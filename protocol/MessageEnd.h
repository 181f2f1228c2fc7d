#pragma once
#include <cstddef>

// Offset of the first F7 at or after `position`, or the last byte of the data when no F7
// follows: a bulk file is sent message by message, each message up to and including its F7.
// Requires position < size.
std::size_t FindMessageEnd(const unsigned char* data, std::size_t size, std::size_t position);
