#pragma once
#include <cstdint>
#include <vector>

// What the device holds: 240 programs and 127 algorithms, each kept as its data bytes only
// (no header, no closing F7), so that the header can be stamped with the device number that
// is current when the device sends it.
class DeviceMemory
{
public:
    static constexpr int ProgramCount = 240;
    static constexpr int AlgorithmCount = 127;
    using Data = std::vector<std::uint8_t>;

    // Every slot empty.
    DeviceMemory();

    // The content the device ships with: identical on every run (fixed seed), with realistic
    // sizes. Programs mostly give messages of 300 to 1500 bytes; programs 199 to 203 give
    // 4096, 5000, 4097, 6000 and 8200 bytes, so that replies span several input buffers.
    // Algorithms give messages of 100 to 800 bytes.
    static DeviceMemory Factory();

    // Numbers count from 1, as on the device's panel.
    const Data& Program(int number) const;
    const Data& Algorithm(int number) const;
    void SetProgram(int number, Data data);
    void SetAlgorithm(int number, Data data);

    bool operator==(const DeviceMemory& other) const;
    bool operator!=(const DeviceMemory& other) const;

private:
    std::vector<Data> m_programs;
    std::vector<Data> m_algorithms;
};
