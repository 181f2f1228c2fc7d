#pragma once
#include <cstdint>
#include <vector>

// Bytes as they travel on the cable; `+` joins messages into the content of a file.
using Bytes = std::vector<std::uint8_t>;

inline Bytes operator+(Bytes first, const Bytes& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}
