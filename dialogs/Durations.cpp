#include "dialogs/Durations.h"

#include <cstdio>

#include "framework/Strings.h"
#include "resources/resource.h"

std::string FormatDuration(std::int64_t seconds)
{
    if (seconds < 60)
        return LoadResString(IDS_SECONDS, {std::to_string(seconds)});
    char twoDigits[8];
    std::snprintf(twoDigits, sizeof twoDigits, "%02d", static_cast<int>(seconds % 60));
    return LoadResString(IDS_MINUTES_SECONDS, {std::to_string(seconds / 60), twoDigits});
}
