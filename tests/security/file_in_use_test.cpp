#include "security/file_in_use.h"

#include <gtest/gtest.h>

#include <numeric>

#include "fake_os/fake_machine.h"

namespace ostrel {
namespace {

using fake::Machine;

// A reader that lets go after the given time: until then every attempt meets it.
os::Failure AttemptWhileHeldFor(std::uint64_t heldFor, std::uint64_t since, os::ErrorCode code) {
  return Machine().tickCount - since < heldFor ? os::Failure(code) : std::nullopt;
}

std::uint64_t TimeSlept() {
  return std::accumulate(Machine().sleeps.begin(), Machine().sleeps.end(), std::uint64_t{0});
}

// The window is what lets a reader's brief hold (the extension's host, a
// scanner) cost a pause instead of an update: about two seconds, no less.
TEST(RetryWhileInUseTest, WaitsOutAReaderForAboutTwoSecondsAndNoLonger) {
  const struct {
    const char* name;
    os::ErrorCode code;
    std::uint64_t heldFor;
    bool succeeds;
  } cases[] = {
      {"sharing violation, let go after 1.9 s", os::ErrorSharingViolation, 1900, true},
      {"access denied, let go after 1.9 s", os::ErrorAccessDenied, 1900, true},
      {"held for 2.1 s", os::ErrorSharingViolation, 2100, false},
      {"not found is not waited for", os::ErrorFileNotFound, 1, false},
  };
  for (const auto& reader : cases) {
    SCOPED_TRACE(reader.name);
    fake::ResetMachine();
    const std::uint64_t since = Machine().tickCount;
    const os::Failure outcome =
        RetryWhileInUse([&] { return AttemptWhileHeldFor(reader.heldFor, since, reader.code); });
    EXPECT_EQ(outcome, reader.succeeds ? std::nullopt : os::Failure(reader.code));
    EXPECT_LE(TimeSlept(), 2000u);
  }
}

}  // namespace
}  // namespace ostrel
