// Waiting on a process in a test, where the wait itself must not fail.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "os/process.h"

namespace ostrel::os {

// WaitForSingleObject, expected to succeed: WaitObject0 or WaitTimeout.
inline std::uint32_t WaitResult(const Handle& object, std::uint32_t milliseconds) {
  std::uint32_t result = WaitFailed;
  EXPECT_EQ(WaitForSingleObject(object, milliseconds, result), std::nullopt);
  return result;
}

}  // namespace ostrel::os
