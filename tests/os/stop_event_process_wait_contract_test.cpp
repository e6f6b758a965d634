// The service's pause between passes: a wait on its stop event and on
// processes at once, which ends as soon as any of them is signalled. The
// event lives as long as the process and the tests of one program share it,
// so each case makes a fresh one, and the case that sets it comes first: the
// event is left unset for the tests that follow.
#include <gtest/gtest.h>

#include <chrono>
#include <span>

#include "os/child_program.h"
#include "os/stop_event.h"
#include "os/wait_result.h"

namespace ostrel::os {
namespace {

TEST(StopEventContractTest, AWaitOnStopAndProcessesEndsWithTheFirstSignalled) {
  constexpr auto Promptly = std::chrono::seconds(10);
  const struct {
    const char* name;
    const char16_t* child;
    bool stopped;
    std::uint32_t timeout;
    StopOrProcessEnd result;
  } cases[] = {
      {"a stop and an ended child", u"exit 0", true, 30000, StopOrProcessEnd::Stopped},
      {"the child ends before the timeout", u"sleep 300", false, 30000, StopOrProcessEnd::ProcessEnded},
      {"the child outlives the timeout", u"sleep 3000", false, 300, StopOrProcessEnd::TimedOut},
  };
  for (const auto& wait : cases) {
    ASSERT_EQ(CreateStopEvent(), std::nullopt) << wait.name;
    ProcessInformation child;
    ASSERT_EQ(StartChild(wait.child, child), std::nullopt) << wait.name;
    if (wait.stopped) {
      ASSERT_EQ(WaitResult(child.process, 30000), WaitObject0) << wait.name;
      ASSERT_EQ(SetStopEvent(), std::nullopt) << wait.name;
    }
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
