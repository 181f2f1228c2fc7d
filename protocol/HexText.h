#pragma once
#include <cstddef>
#include <string>

// The first `shown` bytes as "F0 00 10", followed by " ..." when there are more.
std::string FirstBytesHex(const unsigned char* bytes, std::size_t length, std::size_t shown);
