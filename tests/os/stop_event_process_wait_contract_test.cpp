// The service's pause between passes: a wait on its stop event and on
// processes at once, which ends as soon as any of them is signalled. The
// event lives as long as the process and the tests of one program share it,
// so each wait makes a fresh one and none sets it.
#include <gtest/gtest.h>

#include <chrono>
#include <span>

#include "os/child_program.h"
#include "os/stop_event.h"

namespace ostrel::os {
namespace {

TEST(StopOrProcessEndContractTest, EndsWhenAWatchedProcessEndsOrTheTimeRunsOut) {
  constexpr auto Promptly = std::chrono::seconds(10);
  const struct {
    const char* name;
    const char16_t* child;
    std::uint32_t timeout;
    StopOrProcessEnd result;
  } cases[] = {
      {"the child ends before the timeout", u"sleep 300", 30000, StopOrProcessEnd::ProcessEnded},
      {"the child outlives the timeout", u"sleep 3000", 300, StopOrProcessEnd::TimedOut},
  };
  for (const auto& wait : cases) {
    ASSERT_EQ(CreateStopEvent(), std::nullopt) << wait.name;
    ProcessInformation child;
    ASSERT_EQ(StartChild(wait.child, child), std::nullopt) << wait.name;
    const auto started = std::chrono::steady_clock::now();
    StopOrProcessEnd result{};
    ASSERT_EQ(WaitForStopEventOrProcessEnd(std::span(&child.process, 1), wait.timeout, result), std::nullopt)
        << wait.name;
    EXPECT_EQ(result, wait.result) << wait.name;
    EXPECT_LT(std::chrono::steady_clock::now() - started, Promptly) << wait.name;
  }
}

}  // namespace
}  // namespace ostrel::os
