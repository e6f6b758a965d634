// A call that fails while the system's code is 0 has still failed: the caller
// reports it, with "(0)" where its message carries the code, and never goes
// on as if the call had succeeded.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "apply/update_process.h"
#include "fake_os/fake_machine.h"
#include "foundation/path_join.h"
#include "installed_updater.h"
#include "locations/updater_locations.h"
#include "native-update-service/invocation_table.h"
#include "runtime_error_matcher.h"
#include "security/protected_file.h"
#include "service/feed_download.h"
#include "state/registry_state.h"
#include "state/updater_status.h"

namespace ostrel {
namespace {

using fake::Machine;

const std::u16string Installer = u"C:\\ProgramData\\OstrelNativeUpdater\\Ostrel-Setup-1.2.3.exe";

void RunService() {
  const char16_t* arguments[] = {u"OstrelUpdate.exe", u"--service", nullptr};
  RunInvocation(2, arguments);
}

struct ZeroCodeCase {
  const char* name;
  std::function<void()> arrange;
  std::function<void()> act;
  const char* message;
};

class ZeroCodeFailureTest : public testing::TestWithParam<ZeroCodeCase> {};

TEST_P(ZeroCodeFailureTest, IsReportedRatherThanTakenForSuccess) {
  test::ArrangeInstalledUpdater();
  Machine().fileSystem.AddFile(Installer, "installer");
  GetParam().arrange();
  EXPECT_THAT(GetParam().act, FailsWith(GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(
    Calls, ZeroCodeFailureTest,
    testing::Values(ZeroCodeCase{"DispatcherConnection", [] { Machine().serviceControl.dispatcherResult = 0; },
                                 RunService, "Connect service dispatcher (0)"},
                    // Creating the temporary file, emptying it and writing it are
                    // the first three changes; the move that publishes it is the fourth.
                    ZeroCodeCase{"StatusCommit",
                                 [] {
                                   Machine().fileSystem.failChangesFrom = Machine().fileSystem.changes + 3;
                                   Machine().fileSystem.changeFailure = 0;
                                 },
                                 [] { WriteStatus(StatusUpToDate, u"", ""); }, "Commit updater status (0)"},
                    ZeroCodeCase{"ProtectedWrite",
                                 [] {
                                   Machine().fileSystem.failChangesFrom = 0;
                                   Machine().fileSystem.changeFailure = 0;
                                 },
                                 [] { WriteProtectedFile(JoinPath(UpdaterDataDirectory(), u"release.json"), "{}"); },
                                 "Create updater file (0)"},
                    ZeroCodeCase{"RegistryRead", [] { Machine().registry.getValueResult = 0; },
                                 [] { ReadInstalledVersion(); }, "Installed Ostrel version is unavailable"},
                    ZeroCodeCase{"RegistryWrite", [] { Machine().registry.createKeyResult = 0; },
                                 [] {
                                   WriteRegistryString(os::RootKey::HkeyLocalMachine, UpdaterRegistryKey, u"Version",
                                                       u"1.2.3");
                                 },
                                 "Open updater registry (0)"},
                    ZeroCodeCase{"ProcessLaunch", [] { Machine().processes.createProcessFailure = 0; },
                                 [] { StartUpdateProcess(Installer, u"/S", false); }, "Start authenticated update (0)"},
                    ZeroCodeCase{"InstallerJob", [] { Machine().processes.createJobFailure = 0; },
                                 [] { StartUpdateProcess(Installer, u"/S", true); }, "Start authenticated update (0)"},
                    ZeroCodeCase{"InstallerJobAssignment", [] { Machine().processes.assignFailure = 0; },
                                 [] { StartUpdateProcess(Installer, u"/S", true); }, "Start authenticated update (0)"},
                    ZeroCodeCase{"InstallerTermination",
                                 [] {
                                   Machine().processes.programs[Installer].runsFor = std::nullopt;
                                   Machine().processes.terminateJobFailure = 0;
                                 },
                                 [] { StartUpdateProcess(Installer, u"/S", true); },
                                 "Installer did not finish; it could not be terminated (0)"},
                    ZeroCodeCase{"ProcessResult", [] { Machine().processes.exitCodeFailure = 0; },
                                 [] { StartUpdateProcess(Installer, u"/S", true); }, "Read installer result (0)"},
                    ZeroCodeCase{"DownloadRequest", [] { Machine().http.failures["WinHttpSendRequest"] = 0; },
                                 [] {
                                   FeedConnection connection;
                                   DownloadFeedFile(connection, u"release.json", 65536);
                                 },
                                 "Request update (0)"}),
    [](const testing::TestParamInfo<ZeroCodeCase>& info) { return info.param.name; });

}  // namespace
}  // namespace ostrel
