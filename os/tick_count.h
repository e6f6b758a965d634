// The system's clocks.
#pragma once

#include <cstdint>

namespace ostrel::os {

// GetTickCount64: milliseconds since the system started, sleep and
// hibernation included.
std::uint64_t GetTickCount64();

// QueryUnbiasedInterruptTime: the time the system has been awake since it
// started, in 100-nanosecond units; time spent asleep or hibernating does not
// count.
std::uint64_t QueryUnbiasedInterruptTime();

// GetSystemTimeAsFileTime: the current UTC time as a FILETIME, in
// 100-nanosecond units since 1601, the unit of a process's creation time.
std::uint64_t GetSystemTimeAsFileTime();

}  // namespace ostrel::os
