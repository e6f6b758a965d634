#include "inspect/process_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "fake_os/fake_machine.h"
#include "runtime_error_matcher.h"

namespace ostrel {
namespace {

using fake::Machine;
using testing::ElementsAre;
using testing::IsEmpty;

std::vector<std::u16string> Names(const ProcessList& processes) {
  std::vector<std::u16string> names;
  for (const os::ProcessEntry& entry : processes) names.push_back(entry.exeFile);
  return names;
}

class ProcessListTest : public testing::Test {
 protected:
  void SetUp() override {
    Machine().processes.running.push_back({100, u"explorer.exe", u"C:\\Windows\\explorer.exe"});
    Machine().processes.running.push_back({200, u"chrome.exe", u"C:\\Program Files\\Ostrel\\Application\\chrome.exe"});
  }
  void TearDown() override { EXPECT_THAT(Machine().handles.open, IsEmpty()) << "a handle was left open"; }
};

TEST_F(ProcessListTest, ListsEveryProcessInOrderWithoutOpeningAny) {
  EXPECT_THAT(Names(ListProcesses()), ElementsAre(u"[System Process]", u"System", u"explorer.exe", u"chrome.exe"));
  EXPECT_EQ(ListProcesses()[3].processId, 200u);
  EXPECT_THAT(Machine().processes.opened, IsEmpty());
}

TEST_F(ProcessListTest, TakesAFailureToReadALaterEntryAsTheEndOfTheList) {
  Machine().processes.nextEntryFailsAt = 2;
  Machine().processes.nextEntryFailure = os::ErrorGenFailure;
  EXPECT_THAT(Names(ListProcesses()), ElementsAre(u"[System Process]", u"System"));
}

TEST_F(ProcessListTest, FailsWhenTheSnapshotCannotBeTakenOrRead) {
  const struct {
    os::Failure fake::FakeProcesses::*failure;
    const char* message;
  } cases[] = {
      {&fake::FakeProcesses::snapshotFailure, "List browser processes (8)"},
      {&fake::FakeProcesses::firstEntryFailure, "Read browser process list (8)"},
  };
  for (const auto& step : cases) {
    SCOPED_TRACE(step.message);
    Machine().processes = {};
    Machine().processes.*step.failure = 8;
    EXPECT_THAT([] { ListProcesses(); }, FailsWith(step.message));
  }
}

}  // namespace
}  // namespace ostrel
