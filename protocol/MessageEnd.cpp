#include "protocol/MessageEnd.h"

#include <algorithm>

#include "protocol/SysExMessages.h"

std::size_t FindMessageEnd(const unsigned char* data, std::size_t size, std::size_t position)
{
    const unsigned char* end = std::find(data + position, data + size, SysEx::End);
    return end == data + size ? size - 1 : static_cast<std::size_t>(end - data);
}
