#include "native-update-service/process_entry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <new>
#include <regex>
#include <string>
#include <vector>

#include "build_configuration.h"
#include "fake_os/fake_machine.h"
#include "foundation/path_join.h"
#include "installed_updater.h"
#include "locations/updater_locations.h"
#include "os/service_control.h"
#include "os/com.h"
#include "out_of_memory.h"

namespace ostrel {
namespace {

using fake::Machine;

int RunWith(const std::vector<std::u16string>& arguments) {
  std::vector<const char16_t*> vector{u"OstrelUpdate.exe"};
  for (const std::u16string& argument : arguments) vector.push_back(argument.c_str());
  vector.push_back(nullptr);
  return RunProcessEntry(static_cast<int>(vector.size() - 1), vector.data());
}

const std::u16string Origin(AllowedExtensionOrigin);

struct InvocationCase {
  std::vector<std::u16string> arguments;
  const char* standardError;
};

class InvocationTest : public testing::TestWithParam<InvocationCase> {};

TEST_P(InvocationTest, FailsWithOneLineAndExitCodeOne) {
  EXPECT_EQ(RunWith(GetParam().arguments), 1);
  EXPECT_EQ(Machine().standardError, GetParam().standardError);
}

constexpr const char* Unsupported = "Unsupported native updater invocation\r\n";

INSTANTIATE_TEST_SUITE_P(
    UnsupportedInvocations, InvocationTest,
    testing::Values(InvocationCase{{}, Unsupported}, InvocationCase{{u""}, Unsupported},
                    InvocationCase{{u"--SERVICE"}, Unsupported}, InvocationCase{{u"--Service"}, Unsupported},
                    InvocationCase{{u" --service"}, Unsupported}, InvocationCase{{u"--service "}, Unsupported},
                    InvocationCase{{u"--service=1"}, Unsupported}, InvocationCase{{u"--servic"}, Unsupported},
                    InvocationCase{{u"--service", u"x"}, Unsupported}, InvocationCase{{u"--install"}, Unsupported},
                    InvocationCase{{u"--install", u"1.0.0", u"2.0.0"}, Unsupported},
                    InvocationCase{{u"--uninstall", u"x"}, Unsupported},
                    InvocationCase{{u"--prepare-install", u"x"}, Unsupported},
                    InvocationCase{{u"--inspect-installation", u"x"}, Unsupported},
                    InvocationCase{{u"--apply"}, Unsupported}, InvocationCase{{u"--apply", u"12", u"x"}, Unsupported},
                    InvocationCase{{u"chrome-extension://aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa/"}, Unsupported},
                    InvocationCase{{Origin.substr(0, Origin.size() - 1)}, Unsupported},
                    InvocationCase{{u"CHROME-EXTENSION://" + Origin.substr(19)}, Unsupported},
                    InvocationCase{{Origin + u"/"}, Unsupported}));

INSTANTIATE_TEST_SUITE_P(
    ParentIds, InvocationTest,
    testing::Values(InvocationCase{{u"--apply", u"0"}, "Invalid updater parent\r\n"},
                    InvocationCase{{u"--apply", u"12x"}, "Invalid updater parent\r\n"},
                    InvocationCase{{u"--apply", u"x12"}, "invalid stoul argument\r\n"},
                    InvocationCase{{u"--apply", u"4294967296"}, "stoul argument out of range\r\n"}));

// Each row reaches its own role: the service and setup rows check their fixed
// location first, which a machine without the browser fails; the apply worker
// checks its identity first.
INSTANTIATE_TEST_SUITE_P(
    Rows, InvocationTest,
    testing::Values(InvocationCase{{u"--service"}, "Inspect updater path (2)\r\n"},
                    InvocationCase{{u"--install", u"1.2.3"}, "Inspect updater path (2)\r\n"},
                    InvocationCase{{u"--uninstall"}, "Inspect updater path (2)\r\n"},
                    InvocationCase{{u"--prepare-install"}, "Inspect updater path (2)\r\n"},
                    InvocationCase{{u"--apply", u"4294967295"}, "Only SYSTEM may apply a native release\r\n"}));

TEST(ProcessEntryTest, EndsWithTheInstallationReportsOwnExitCode) {
  Machine().processes.running.push_back(
      {200, u"chrome.exe", u"C:\\Program Files\\Ostrel\\Application\\chrome.exe"});
  EXPECT_EQ(RunWith({u"--inspect-installation"}), 10);
  EXPECT_EQ(Machine().standardOutput, "{\"readOnly\":true,\"legacy\":false,\"running\":true}\r\n");
  EXPECT_EQ(Machine().standardError, "");
}

// A script reading the exit code must not take a lost or cut report for an
// answer.
TEST(ProcessEntryTest, EndsWithOneWhenTheInstallationReportIsNotWrittenWhole) {
  Machine().standardOutputResult = os::ErrorBrokenPipe;
  EXPECT_EQ(RunWith({u"--inspect-installation"}), 1);
  EXPECT_EQ(Machine().standardError, "Write installation report (109)\r\n");

  Machine().standardError.clear();
  Machine().standardOutputResult = std::nullopt;
  Machine().standardOutputLimit = 10;
  EXPECT_EQ(RunWith({u"--inspect-installation"}), 1);
  EXPECT_EQ(Machine().standardError, "Write installation report\r\n");
}

TEST(ProcessEntryTest, AnswersTheExtensionOriginWithAFrameWhateverFollowsIt) {
  const std::string reply = std::string("\x2E\0\0\0", 4) + R"json({"ok":false,"error":"Read native frame (109)"})json";
  for (const std::vector<std::u16string>& arguments :
       {std::vector<std::u16string>{Origin}, std::vector<std::u16string>{Origin, u"--parent-window=0", u"x"}}) {
    Machine().standardOutput.clear();
    EXPECT_EQ(RunWith(arguments), 0);
    EXPECT_EQ(Machine().standardOutput, reply);
    EXPECT_EQ(Machine().standardError, "");
  }
}

TEST(ProcessEntryTest, StartsComInTheMultithreadedApartmentFirst) {
  RunWith({u"--uninstall"});
  ASSERT_EQ(Machine().coInitializeCalls.size(), 1u);
  EXPECT_EQ(Machine().coInitializeCalls[0], os::CoinitMultithreaded);
}

TEST(ProcessEntryTest, FailedServiceLocationCheckNeverReachesTheDispatcher) {
  EXPECT_EQ(RunWith({u"--service"}), 1);
  EXPECT_TRUE(Machine().serviceControl.dispatcherCalls.empty());
}

TEST(ProcessEntryTest, ServiceAtItsFixedLocationConnectsToTheDispatcher) {
  Machine().fileSystem.AddDirectory(u"C:\\Program Files\\Ostrel");
  Machine().fileSystem.AddDirectory(u"C:\\Program Files\\Ostrel\\Updater");
  Machine().fileSystem.AddFile(Machine().moduleFileName);
  EXPECT_EQ(RunWith({u"--service"}), 1);
  EXPECT_EQ(Machine().serviceControl.dispatcherCalls, std::vector<std::u16string>{u"OstrelNativeUpdater"});
  EXPECT_EQ(Machine().standardError, "Connect service dispatcher (1063)\r\n");
}

// The dispatcher returns once the service has stopped; the process then ends
// with 0 whatever the service's own exit code.
TEST(ProcessEntryTest, AStartedServiceRunsToItsStopAndTheProcessExitsZero) {
  Machine().fileSystem.AddDirectory(u"C:\\Program Files\\Ostrel");
  Machine().fileSystem.AddDirectory(u"C:\\Program Files\\Ostrel\\Updater");
  Machine().fileSystem.AddFile(Machine().moduleFileName);
  Machine().serviceControl.dispatcherResult = std::nullopt;
  EXPECT_EQ(RunWith({u"--service"}), 0);
  ASSERT_EQ(Machine().serviceControl.statuses.size(), 2u);
  EXPECT_EQ(Machine().serviceControl.statuses[0].currentState, os::ServiceRunning);
  EXPECT_EQ(Machine().serviceControl.statuses[1].currentState, os::ServiceStopped);
  EXPECT_EQ(Machine().serviceControl.statuses[1].win32ExitCode, os::ErrorServiceSpecificError)
      << "the test process is not LocalSystem";
  EXPECT_EQ(Machine().standardError, "");
}

TEST(ProcessEntryTest, SetupCommandsRecordTheirOutcomeInTheHistory) {
  test::ArrangeInstalledUpdater();
  EXPECT_EQ(RunWith({u"--prepare-install"}), 0);
  EXPECT_EQ(RunWith({u"--install", u"1.2"}), 1);
  const std::string history = Machine().fileSystem.Find(JoinPath(UpdaterDataDirectory(), HistoryName))->contents;
  // GoogleTest's own regular expressions have no brackets on Windows.
  EXPECT_TRUE(std::regex_match(history, std::regex("[-0-9T:.]+Z prepare-install 4242 --prepare-install succeeded\r\n"
                                                   "[-0-9T:.]+Z install 4242 --install 1\\.2 failed: Invalid release "
                                                   "version\r\n")))
      << history;
  EXPECT_EQ(Machine().standardError, "Invalid release version\r\n") << "the failure still ends where it did";
}

struct ComFailureCase {
  os::HResult result;
  std::string standardError;
};

class ComFailureTest : public testing::TestWithParam<ComFailureCase> {};

TEST_P(ComFailureTest, EndsBeforeAnyRoleRuns) {
  Machine().coInitializeResult = GetParam().result;
  EXPECT_EQ(RunWith({u"--uninstall"}), 1);
  EXPECT_EQ(Machine().standardError, GetParam().standardError);
}

const std::string OutOfMemoryLine = std::string(std::bad_alloc().what()) + "\r\n";

INSTANTIATE_TEST_SUITE_P(Results, ComFailureTest,
                         testing::Values(ComFailureCase{os::EFail, "Native updater failed\r\n"},
                                         ComFailureCase{os::EOutOfMemory, OutOfMemoryLine}));

struct OutOfMemoryCase {
  os::HResult comResult;
  std::vector<std::u16string> arguments;
  std::string standardError;
};

class OutOfMemoryTest : public testing::TestWithParam<OutOfMemoryCase> {};

// A failure that finds memory exhausted still ends as its line and exit code
// 1: the entry writes the message and the line end as they are.
TEST_P(OutOfMemoryTest, StillWritesTheFailureLine) {
  Machine().coInitializeResult = GetParam().comResult;
  Machine().standardError.reserve(64);  // so that the fake records the line without allocating
  int exitCode = 0;
  {
    OutOfMemoryInFailureHandlers outOfMemory;
    exitCode = RunWith(GetParam().arguments);
  }
  EXPECT_EQ(exitCode, 1);
  EXPECT_EQ(Machine().standardError, GetParam().standardError);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, OutOfMemoryTest,
    testing::Values(OutOfMemoryCase{os::SOk, {u"--apply", u"0"}, "Invalid updater parent\r\n"},
                    OutOfMemoryCase{os::EFail, {u"--uninstall"}, "Native updater failed\r\n"},
                    OutOfMemoryCase{os::EOutOfMemory, {u"--uninstall"}, OutOfMemoryLine}));

}  // namespace
}  // namespace ostrel
