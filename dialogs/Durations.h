#pragma once
#include <cstdint>
#include <string>

// A duration as the transfer dialogs show it: "42 s", or "3 min 05 s" from a minute on.
std::string FormatDuration(std::int64_t seconds);
