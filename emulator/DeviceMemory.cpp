#include "emulator/DeviceMemory.h"

#include <cstddef>
#include <cstdio>
#include <stdexcept>

namespace
{
// A generator of our own rather than a standard distribution, whose output may differ between
// standard libraries: the factory content must be the same wherever the tests run.
class Generator
{
public:
    explicit Generator(std::uint32_t seed) : m_state(seed) {}

    std::uint32_t Next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }

    int Between(int low, int high)
    {
        return low + static_cast<int>(Next() % static_cast<std::uint32_t>(high - low + 1));
    }

private:
    std::uint32_t m_state;
};

constexpr std::size_t ProgramHeaderAndEnd = 10;   // F0 00 00 10 dd 41 42 hi lo ... F7
constexpr std::size_t AlgorithmHeaderAndEnd = 9;  // F0 00 00 10 dd 41 30 nn ... F7
constexpr std::size_t NameLength = 16;

const char* const Adjectives[] = {"Warm", "Bright", "Dark", "Wide", "Soft", "Hard", "Long",
                                  "Short", "Deep", "Glass", "Vintage", "Airy", "Gated", "Lush"};
const char* const Nouns[] = {"Hall", "Room", "Plate", "Chamber", "Echo", "Chorus", "Flange",
                             "Delay", "Shimmer", "Spring", "Cathedral", "Garage", "Stage"};

// A program's data as the device lays it out: a 16-character name, then parameter values,
// all seven-bit as System Exclusive data must be.
DeviceMemory::Data MakeProgram(Generator& generator, std::size_t size)
{
    char name[NameLength + 1];
    std::snprintf(name, sizeof name, "%-7.7s %-8.8s", Adjectives[generator.Next() % 14],
                  Nouns[generator.Next() % 13]);
    DeviceMemory::Data data(name, name + NameLength);
    while (data.size() < size)
    {
        // Parameter blocks: a type byte, then a handful of values, many of them small.
        data.push_back(static_cast<std::uint8_t>(generator.Between(0, 15)));
        const int values = generator.Between(2, 8);
        for (int i = 0; i < values && data.size() < size; ++i)
        {
            const bool small = generator.Next() % 3 == 0;
            data.push_back(static_cast<std::uint8_t>(small ? generator.Between(0, 3)
                                                           : generator.Between(0, 127)));
        }
    }
    data.resize(size);
    return data;
}

DeviceMemory::Data MakeAlgorithm(Generator& generator, std::size_t size)
{
    DeviceMemory::Data data;
    data.reserve(size);
    while (data.size() < size)
        data.push_back(static_cast<std::uint8_t>(generator.Between(0, 127)));
    return data;
}

std::size_t LargeProgramMessageSize(int number)
{
    switch (number)
    {
    case 199: return 4096;   // ends exactly at the end of one input buffer
    case 200: return 5000;   // 4096 + 904
    case 201: return 4097;   // the closing F7 alone in a second buffer
    case 202: return 6000;
    case 203: return 8200;   // three input buffers
    default: return 0;
    }
}

std::size_t Index(int number, int count)
{
    if (number < 1 || number > count)
        throw std::out_of_range("device memory slot out of range");
    return static_cast<std::size_t>(number - 1);
}
}

DeviceMemory::DeviceMemory()
    : m_programs(ProgramCount), m_algorithms(AlgorithmCount)
{
}

DeviceMemory DeviceMemory::Factory()
{
    DeviceMemory memory;
    Generator generator(0x5E11DA7A);
    for (int n = 1; n <= ProgramCount; ++n)
    {
        std::size_t messageSize = LargeProgramMessageSize(n);
        if (messageSize == 0)
            messageSize = static_cast<std::size_t>(generator.Between(300, 1500));
        memory.SetProgram(n, MakeProgram(generator, messageSize - ProgramHeaderAndEnd));
    }
    for (int n = 1; n <= AlgorithmCount; ++n)
    {
        const auto messageSize = static_cast<std::size_t>(generator.Between(100, 800));
        memory.SetAlgorithm(n, MakeAlgorithm(generator, messageSize - AlgorithmHeaderAndEnd));
    }
    return memory;
}

const DeviceMemory::Data& DeviceMemory::Program(int number) const
{
    return m_programs[Index(number, ProgramCount)];
}

const DeviceMemory::Data& DeviceMemory::Algorithm(int number) const
{
    return m_algorithms[Index(number, AlgorithmCount)];
}

void DeviceMemory::SetProgram(int number, Data data)
{
    m_programs[Index(number, ProgramCount)] = std::move(data);
}

void DeviceMemory::SetAlgorithm(int number, Data data)
{
    m_algorithms[Index(number, AlgorithmCount)] = std::move(data);
}

bool DeviceMemory::operator==(const DeviceMemory& other) const
{
    return m_programs == other.m_programs && m_algorithms == other.m_algorithms;
}

bool DeviceMemory::operator!=(const DeviceMemory& other) const
{
    return !(*this == other);
}
