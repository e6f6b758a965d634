#include "os/random.h"

#include "os/win32/windows_api.h"

namespace ostrel::os {

Failure BCryptGenRandom(std::span<std::uint8_t> buffer) {
  NTSTATUS status = ::BCryptGenRandom(nullptr, buffer.data(), static_cast<ULONG>(buffer.size()),
                                      BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (status != 0) return static_cast<ErrorCode>(status);
  return std::nullopt;
}

}  // namespace ostrel::os
