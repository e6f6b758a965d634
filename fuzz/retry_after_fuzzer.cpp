// Reads a Retry-After value as the server sent it (UTF-16, two bytes a
// unit) at a moment the input also chooses: whatever the text, the wait is
// never above the hour, and a plain number of seconds is taken as such.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "service/retry_after.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::int64_t now = 0;
  if (size < sizeof now) return 0;
  std::memcpy(&now, data, sizeof now);
  data += sizeof now;
  size -= sizeof now;
  std::u16string value(size / 2, u'\0');
  for (std::size_t index = 0; index < value.size(); ++index) {
    value[index] = static_cast<char16_t>(data[2 * index] | data[2 * index + 1] << 8);
  }
  const std::optional<std::uint64_t> wait = ostrel::RetryAfterMilliseconds(value, now);
  if (wait && *wait > ostrel::LongestServerWaitMilliseconds) __builtin_trap();
  const bool digitsOnly = !value.empty() && value.size() < 19 &&
                          value.find_first_not_of(u"0123456789") == std::u16string::npos;
  if (digitsOnly && wait != std::min<std::uint64_t>(std::stoull(std::string(value.begin(), value.end())), 3600) * 1000) {
    __builtin_trap();
  }
  return 0;
}
