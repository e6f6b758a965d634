#include "service/service_host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "fake_os/fake_machine.h"
#include "installed_updater.h"
#include "os/com.h"
#include "os/service_control.h"

namespace ostrel {
namespace {

using fake::Machine;
using os::ServiceStatus;
using testing::ElementsAre;
using testing::IsEmpty;

constexpr ServiceStatus Running{0x10, 4, 5, 0, 0, 0, 0};
// The stop pending with its check point.
constexpr ServiceStatus StopPending(std::uint32_t checkPoint) { return {0x10, 3, 0, 0, 0, checkPoint, 30000}; }
constexpr ServiceStatus Stopped{0x10, 1, 0, 0, 0, 0, 0};
constexpr ServiceStatus StoppedWithFailure{0x10, 1, 0, 1066, 1, 0, 0};

std::vector<ServiceStatus>& Reports() { return Machine().serviceControl.statuses; }

class ServiceHostTest : public testing::Test {
 protected:
  ServiceHostTest() {
    Machine().identity = fake::FakeIdentity::LocalSystem();
    test::ArrangeInstalledUpdater();
  }

  static void RunService() {
    char16_t name[] = u"OstrelNativeUpdater";
    char16_t* arguments[] = {name, nullptr};
    ServiceMain(1, arguments);
  }

  // The browser runs and the feed offers nothing newer, so the cycle waits
  // between checks until it is told to stop.
  static void KeepTheCycleWaiting() {
    test::SetInstalledVersion(u"9.9.9");
    Machine().processes.running.push_back({1000, u"chrome.exe", BrowserExecutablePath()});
  }
};

TEST_F(ServiceHostTest, ReportsRunningThenStoppedWhenTheCycleEnds) {
  RunService();
  EXPECT_THAT(Machine().serviceControl.registrations, ElementsAre(u"OstrelNativeUpdater"));
  EXPECT_THAT(Reports(), ElementsAre(Running, Stopped));
  EXPECT_THAT(Machine().coInitializeCalls, ElementsAre(os::CoinitMultithreaded));
  EXPECT_EQ(Machine().stopEvent, false);
}

TEST_F(ServiceHostTest, AFailedCycleStopsWithTheServiceSpecificCode) {
  Machine().identity = fake::FakeIdentity();  // not LocalSystem
  RunService();
  EXPECT_THAT(Reports(), ElementsAre(Running, StoppedWithFailure));
}

TEST_F(ServiceHostTest, AFailedComStartStopsWithTheServiceSpecificCode) {
  Machine().coInitializeResult = os::EFail;
  RunService();
  EXPECT_THAT(Reports(), ElementsAre(Running, StoppedWithFailure));
}

TEST_F(ServiceHostTest, AFailureOutsideTheStandardHierarchyIsCaughtToo) {
  Machine().knownFolderResult = os::EFail;  // raised as hresult_error
  RunService();
  EXPECT_THAT(Reports(), ElementsAre(Running, StoppedWithFailure));
}

TEST_F(ServiceHostTest, WithoutItsHandlerTheServiceNeverReports) {
  Machine().serviceControl.registerResult = os::ErrorInvalidParameter;
  RunService();
  EXPECT_THAT(Reports(), IsEmpty());
  EXPECT_TRUE(Machine().processes.launches.empty());
}

TEST_F(ServiceHostTest, AStopWhileWaitingEndsTheCycleAndStopsCleanly) {
  KeepTheCycleWaiting();
  Machine().whileWaitingForStop = [] { EXPECT_EQ(Machine().serviceControl.Send(os::ServiceControlStop), 0u); };
  RunService();
  EXPECT_THAT(Reports(), ElementsAre(Running, StopPending(1), Stopped));
  EXPECT_EQ(Machine().stopWaits.size(), 1u);
}

TEST_F(ServiceHostTest, ShutdownAndRepeatedStopsAreHandledAlike) {
  KeepTheCycleWaiting();
  Machine().whileWaitingForStop = [] {
    EXPECT_EQ(Machine().serviceControl.Send(os::ServiceControlShutdown), 0u);
    EXPECT_EQ(Machine().serviceControl.Send(os::ServiceControlStop), 0u);
  };
  RunService();
  EXPECT_THAT(Reports(), ElementsAre(Running, StopPending(1), StopPending(2), Stopped));
}

// A cycle that takes its time to wind down after a stop is seen making
// progress: the stop pending is reported again about once a second, each
// time with the next check point, until "stopped".
TEST_F(ServiceHostTest, ReportsAnAdvancingCheckPointWhileTheCycleWindsDown) {
  KeepTheCycleWaiting();
  Machine().whileWaitingForStop = [] {
    EXPECT_EQ(Machine().serviceControl.Send(os::ServiceControlStop), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  };
  RunService();
  const std::vector<ServiceStatus> reports = Reports();
  ASSERT_GE(reports.size(), 5u);
  EXPECT_EQ(reports.front(), Running);
  EXPECT_EQ(reports.back(), Stopped);
  for (std::size_t index = 1; index + 1 < reports.size(); ++index) {
    EXPECT_EQ(reports[index], StopPending(static_cast<std::uint32_t>(index)));
  }
}

// A stop can reach the handler on the dispatcher's thread just as the cycle
// ends by itself (right after a hand-off, say): the run still ends in
// "stopped", never in a "stop pending" the manager takes for a crash.
TEST_F(ServiceHostTest, AStopArrivingAsTheCycleEndsReportsNothingAfterStopped) {
  const struct {
    const char* name;
    void (*arrange)();
    ServiceStatus stopped;
  } endings[] = {
      {"ended normally", [] {}, Stopped},
      {"failed", [] { Machine().identity = fake::FakeIdentity(); }, StoppedWithFailure},
  };
  for (const auto& ending : endings) {
    fake::ResetMachine();
    Machine().identity = fake::FakeIdentity::LocalSystem();
    test::ArrangeInstalledUpdater();
    ending.arrange();
    RunService();
    for (std::uint32_t control : {os::ServiceControlStop, os::ServiceControlShutdown}) {
      EXPECT_EQ(Machine().serviceControl.Send(control), 0u) << ending.name;
    }
    EXPECT_THAT(Reports(), ElementsAre(Running, ending.stopped)) << ending.name;
  }
}

TEST_F(ServiceHostTest, AnswersOtherControlsWithoutActing) {
  KeepTheCycleWaiting();
  Machine().whileWaitingForStop = [] {
    const struct {
      std::uint32_t control;
      std::uint32_t answer;
    } controls[] = {{4, 0}, {2, 120}, {3, 120}, {6, 120}, {0x80, 120}};
    for (const auto& [control, answer] : controls) {
      EXPECT_EQ(Machine().serviceControl.Send(control), answer) << control;
    }
    EXPECT_EQ(Machine().stopEvent, false);
    Machine().stopEvent = true;
  };
  RunService();
  EXPECT_THAT(Reports(), ElementsAre(Running, Stopped));
}

}  // namespace
}  // namespace ostrel
