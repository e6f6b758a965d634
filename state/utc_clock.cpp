#include "state/utc_clock.h"

#include "os/tick_count.h"

namespace ostrel {
namespace {

// 1970-01-01 as a FILETIME, in 100-nanosecond units since 1601.
constexpr std::int64_t UnixEpochFileTime = 116'444'736'000'000'000;

}  // namespace

std::int64_t UnixSecondsNow() {
  return (static_cast<std::int64_t>(os::GetSystemTimeAsFileTime()) - UnixEpochFileTime) / 10'000'000;
}

}  // namespace ostrel
