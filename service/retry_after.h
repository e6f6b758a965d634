// The Retry-After header of a server that answers 429 (too many requests) or
// 503 (unavailable): how long it asks its clients to leave it alone. A whole
// fleet follows it at once, so a server in trouble can slow everyone down.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ostrel {

// The longest a server may hold the updater back: an hour, so a mistaken
// header costs at most an hour of checks.
inline constexpr std::uint64_t LongestServerWaitMilliseconds = 3'600'000;

// The wait the value asks for, in milliseconds, at most
// LongestServerWaitMilliseconds: a number of seconds, or an HTTP date
// ("Sun, 06 Nov 1994 08:49:37 GMT") compared with the current UTC time in
// seconds since 1970 (a date already past asks for no wait). None for
// anything else.
std::optional<std::uint64_t> RetryAfterMilliseconds(std::u16string_view value, std::int64_t nowUnixSeconds);

}  // namespace ostrel
