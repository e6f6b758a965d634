#include "os/tick_count.h"

#include "os/win32/windows_api.h"

namespace ostrel::os {

std::uint64_t GetTickCount64() { return ::GetTickCount64(); }

std::uint64_t QueryUnbiasedInterruptTime() {
  ULONGLONG awake = 0;
  // It fails only for a null pointer.
  (void)::QueryUnbiasedInterruptTime(&awake);
  return awake;
}

std::uint64_t GetSystemTimeAsFileTime() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  return win32::FileTimeCount(now);
}

}  // namespace ostrel::os
