// The current UTC time in the units records and HTTP dates use.
#pragma once

#include <cstdint>

namespace ostrel {

// Seconds since 1970-01-01 00:00 UTC.
std::int64_t UnixSecondsNow();

}  // namespace ostrel
