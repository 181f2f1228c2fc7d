#include "protocol/MessageEnd.h"

#include <algorithm>

#include "protocol/SysExMessages.h"

std::size_t FindMessageEnd(const unsigned char* data, std::size_t size, std::size_t position)
{
    const unsigned char* end = std::find(data + position, data + size, SysEx::End);
    return end == data + size ? size - 1 : static_cast<std::size_t>(end - data);
}

std::size_t LeaveOutUnendedMessage(std::vector<unsigned char>& data)
{
    if (data.empty() || data.back() == SysEx::End)
        return 0;
    const auto lastEnd = std::find(data.rbegin(), data.rend(), SysEx::End);
    const auto start = lastEnd.base();  // just after the last F7, or the data's beginning
    const std::size_t position = static_cast<std::size_t>(std::count(data.begin(), start, SysEx::End)) + 1;
    data.erase(start, data.end());
    return position;
}
