#include "protocol/HexText.h"

#include <algorithm>
#include <cstdio>

std::string FirstBytesHex(const unsigned char* bytes, std::size_t length, std::size_t shown)
{
    std::string text;
    for (std::size_t i = 0; i < std::min(length, shown); ++i)
    {
        char byte[4];
        std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += byte;
    }
    if (length > shown)
        text += " ...";
    return text;
}
