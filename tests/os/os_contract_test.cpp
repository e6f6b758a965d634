// Behaviour every implementation of the os/ boundary shares: these tests run
// natively against the fake machine and, cross-compiled, under Wine against
// the Windows API, so the fake cannot drift from the real thing.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "os/com.h"
#include "os/module.h"
#include "os/random.h"
#include "os/service_control.h"
#include "os/sleep.h"
#include "os/stop_event.h"
#include "os/tick_count.h"

namespace ostrel::os {
namespace {

TEST(ComContractTest, JoinsTheMultithreadedApartment) {
  EXPECT_GE(CoInitializeEx(CoinitMultithreaded), 0);
}

TEST(ModuleContractTest, NamesTheExecutableByItsFullDrivePath) {
  std::u16string buffer(32768, u'\0');
  std::uint32_t length = 0;
  ASSERT_EQ(GetModuleFileName(buffer, length), std::nullopt);
  ASSERT_GT(length, 7u);
  std::u16string path = buffer.substr(0, length);
  EXPECT_EQ(buffer[length], u'\0');
  EXPECT_EQ(path.substr(1, 2), u":\\");
  std::u16string extension = path.substr(path.size() - 4);
  for (char16_t& unit : extension) unit = unit >= u'A' && unit <= u'Z' ? unit + 32 : unit;
  EXPECT_EQ(extension, u".exe");
}

TEST(ModuleContractTest, CutsANameThatDoesNotFitAndReportsTheBufferSize) {
  std::u16string whole(32768, u'\0');
  std::uint32_t wholeLength = 0;
  ASSERT_EQ(GetModuleFileName(whole, wholeLength), std::nullopt);
  std::u16string buffer(8, u'?');
  std::uint32_t length = 0;
  ASSERT_EQ(GetModuleFileName(buffer, length), std::nullopt);
  EXPECT_EQ(length, 8u);
  EXPECT_EQ(buffer.substr(0, 7), whole.substr(0, 7));
  // Windows ends the cut name with a terminator in the last unit; Wine fills
  // that unit with the next character of the name instead.
}

void UnusedServiceMain(std::uint32_t, char16_t**) {}

TEST(ServiceControlContractTest, RefusesADispatcherThatTheManagerDidNotStart) {
  EXPECT_EQ(StartServiceCtrlDispatcher(u"OstrelContractTest", UnusedServiceMain),
            ErrorFailedServiceControllerConnect);
}

// The stop event belongs to the process, so this is the one test that makes it.
TEST(StopEventContractTest, CountsAsUnsetUntilCreatedAndThenSet) {
  EXPECT_FALSE(IsStopEventSet());
  ASSERT_EQ(CreateStopEvent(), std::nullopt);
  EXPECT_FALSE(IsStopEventSet());
  ASSERT_EQ(SetStopEvent(), std::nullopt);
  EXPECT_TRUE(IsStopEventSet());
  EXPECT_TRUE(IsStopEventSet());  // manual reset: a test does not consume it
}

TEST(RandomContractTest, NoTwoDrawsAreAlike) {
  std::array<std::uint8_t, 16> first{};
  std::array<std::uint8_t, 16> second{};
  ASSERT_EQ(BCryptGenRandom(first), std::nullopt);
  ASSERT_EQ(BCryptGenRandom(second), std::nullopt);
  EXPECT_NE(first, second);
  EXPECT_NE(first, (std::array<std::uint8_t, 16>{}));
}

TEST(TickCountContractTest, NeverRunsBackwards) {
  std::uint64_t first = GetTickCount64();
  std::uint64_t second = GetTickCount64();
  EXPECT_GT(first, 0u);
  EXPECT_GE(second, first);
}

TEST(TickCountContractTest, TheAwakeTimeAndTheSystemTimeMoveOnAcrossASleep) {
  // 2020-01-01 as a FILETIME: a system time before it is no date at all.
  constexpr std::uint64_t Year2020 = 132'223'104'000'000'000;
  const std::uint64_t awake = QueryUnbiasedInterruptTime();
  const std::uint64_t now = GetSystemTimeAsFileTime();
  EXPECT_GT(now, Year2020);
  Sleep(100);
  EXPECT_GT(QueryUnbiasedInterruptTime(), awake);
  EXPECT_GT(GetSystemTimeAsFileTime(), now);
}

}  // namespace
}  // namespace ostrel::os
