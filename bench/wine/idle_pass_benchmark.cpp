// Where the CPU time of an idle pass of the update cycle goes, under Wine:
// the steps of a pass that finds nothing newer, in the cycle's order, run
// PASSES times in a row after one pass that warms up, each step's process
// CPU time (all threads, WinHTTP's among them) summed over the passes; then
// a dozen passes each after the five-second pause, as the service runs
// them, which also pay for whatever the system let go of while idle. Wine
// counts CPU time in 10 ms ticks, so many passes make the figures exact:
//   idle_pass_benchmark PASSES
// Runs in a machine where the updater is installed, the browser runs and
// the feed offers a release that is not newer than the installed one.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "inspect/browser_activity.h"
#include "inspect/process_list.h"
#include "locations/updater_locations.h"
#include "os/stop_event.h"
#include "release/release_metadata.h"
#include "security/protected_directory.h"
#include "security/transaction_lock.h"
#include "service/feed_connection.h"
#include "service/feed_download.h"
#include "service/worker_processes.h"
#include "state/machine_policy.h"
#include "state/registry_state.h"
#include "state/updater_status.h"

namespace {

constexpr int PauseMilliseconds = 5000;
constexpr int PausedPasses = 12;

double ProcessCpuSeconds() {
  FILETIME creation;
  FILETIME exit;
  FILETIME kernel;
  FILETIME user;
  ::GetProcessTimes(::GetCurrentProcess(), &creation, &exit, &kernel, &user);
  auto ticks = [](FILETIME time) { return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime; };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

// What the service would spend on each request if it did not keep its
// connection: a WinHTTP session and a connection handle, opened and closed.
void OpenAndCloseConnection() { ostrel::FeedConnection().Handle(); }

using Steps = std::vector<std::pair<const char*, std::function<void()>>>;

// Each step's CPU seconds over the passes, the warming pass left out.
std::vector<double> Measure(const Steps& steps, int passes) {
  std::vector<double> spent(steps.size());
  for (int pass = -1; pass < passes; ++pass) {
    for (std::size_t step = 0; step < steps.size(); ++step) {
      const double start = ProcessCpuSeconds();
      steps[step].second();
      if (pass >= 0) spent[step] += ProcessCpuSeconds() - start;
    }
  }
  return spent;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int passes = argc == 2 ? std::wcstol(argv[1], nullptr, 10) : 200;
  ostrel::EnsureProtectedDirectory(ostrel::UpdaterDataDirectory());
  // As in the service, whose every wait on the network also watches the stop.
  (void)ostrel::os::CreateStopEvent();
  // Kept for every pass, as the service keeps it.
  ostrel::FeedConnection connection;
  ostrel::ProcessList processes;
  std::vector<ostrel::os::Handle> browser;
  std::string metadata;
  std::string signature;
  ostrel::ReleaseMetadata release;
  const Steps pass = {
      {"uninstall flag (registry)", [] { (void)ostrel::IsUninstalling(); }},
      {"list the processes (snapshot)", [&] { processes = ostrel::ListProcesses(); }},
      {"transaction lock probe", [] { (void)ostrel::IsTransactionActive(); }},
      {"is a worker starting", [&] { (void)ostrel::IsWorkerStarting(processes); }},
      {"machine policy (registry)", [] { (void)ostrel::ReadMachinePolicy(); }},
      {"open the browser's processes",
       [&] { browser = ostrel::OpenBrowserProcesses(processes, ostrel::os::MaximumWatchedProcesses); }},
      {"download release.json",
       [&] { metadata = ostrel::DownloadFeedFile(connection, u"release.json", ostrel::ReleaseMetadataLimit); }},
      {"download release.sig",
       [&] { signature = ostrel::DownloadFeedFile(connection, u"release.sig", ostrel::ReleaseSignatureLimit); }},
      {"verify signature and metadata", [&] { release = ostrel::VerifyReleaseMetadata(metadata, signature); }},
      {"compare with installed version", [&] { (void)ostrel::IsNewerThanInstalled(release.version); }},
      {"write status", [&] { ostrel::WriteStatus(u"up_to_date", u"", ""); }},
  };
  const std::vector<double> spent = Measure(pass, passes);
  double total = 0;
  for (std::size_t step = 0; step < pass.size(); ++step) {
    std::printf("%-38s %8.2f ms per pass\n", pass[step].first, 1000 * spent[step] / passes);
    total += spent[step];
  }
  std::printf("%-38s %8.2f ms per pass over %d passes\n", "all steps", 1000 * total / passes, passes);

  const double session = Measure({{"", OpenAndCloseConnection}}, passes)[0];
  std::printf("%-38s %8.2f ms each, not spent: the connection is kept\n", "  a new WinHTTP session and connection",
              1000 * session / passes);

  // The service's rhythm: each pass follows a pause, after which whatever
  // the system let go of while idle is made anew.
  const double start = ProcessCpuSeconds();
  for (int paused = 0; paused < PausedPasses; ++paused) {
    ostrel::os::StopOrProcessEnd ended;
    (void)ostrel::os::WaitForStopEventOrProcessEnd(browser, PauseMilliseconds, ended);
    for (const auto& step : pass) step.second();
  }
  std::printf("%-38s %8.2f ms per pass over %d passes\n", "a pause and a pass, as the service",
              1000 * (ProcessCpuSeconds() - start) / PausedPasses, PausedPasses);
  return 0;
}
