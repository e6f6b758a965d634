// Expecting the updater's own failures: EXPECT_THAT(call, FailsWith("...")).
#pragma once

#include <gmock/gmock.h>

#include <stdexcept>

namespace ostrel {

// Matches a callable that raises std::runtime_error with exactly this message.
inline auto FailsWith(const char* message) {
  return testing::Throws<std::runtime_error>(testing::Property(&std::runtime_error::what, testing::StrEq(message)));
}

}  // namespace ostrel
