// Where the CPU time of an idle pass of the update cycle goes, under Wine:
// the steps of a pass that finds nothing newer, run PASSES times in a row
// as the cycle runs them after one pass that warms up (as a running service
// is warm), each step's process CPU time (all threads, WinHTTP's among them)
// summed over the passes. Wine counts CPU time in 10 ms ticks, so many
// passes make the figures exact:
//   idle_pass_benchmark PASSES
// Runs in a machine where the updater is installed and the feed offers a
// release that is not newer than the installed one.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "foundation/text_conversion.h"
#include "inspect/browser_activity.h"
#include "locations/updater_locations.h"
#include "release/release_metadata.h"
#include "security/protected_directory.h"
#include "service/feed_download.h"
#include "state/registry_state.h"
#include "state/updater_status.h"

namespace {

double ProcessCpuSeconds() {
  FILETIME creation;
  FILETIME exit;
  FILETIME kernel;
  FILETIME user;
  ::GetProcessTimes(::GetCurrentProcess(), &creation, &exit, &kernel, &user);
  auto ticks = [](FILETIME time) { return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime; };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int passes = argc == 2 ? std::wcstol(argv[1], nullptr, 10) : 200;
  ostrel::EnsureProtectedDirectory(ostrel::UpdaterDataDirectory());
  // Kept for every pass, as the service keeps it.
  ostrel::FeedConnection connection;
  std::string metadata;
  std::string signature;
  ostrel::ReleaseMetadata release;
  std::vector<std::pair<const char*, std::function<void()>>> steps = {
      {"is the browser running", [] { (void)ostrel::IsBrowserRunning(); }},
      {"download release.json",
       [&] { metadata = ostrel::DownloadFeedFile(connection, u"release.json", ostrel::ReleaseMetadataLimit); }},
      {"download release.sig",
       [&] { signature = ostrel::DownloadFeedFile(connection, u"release.sig", ostrel::ReleaseSignatureLimit); }},
      {"verify signature and metadata", [&] { release = ostrel::VerifyReleaseMetadata(metadata, signature); }},
      {"compare with installed version", [&] { (void)ostrel::IsNewerThanInstalled(release.version); }},
      {"write status", [&] { ostrel::WriteStatus(u"up_to_date", u"", ""); }},
  };
  std::vector<double> spent(steps.size());
  for (int pass = -1; pass < passes; ++pass) {
    for (std::size_t step = 0; step < steps.size(); ++step) {
      const double start = ProcessCpuSeconds();
      steps[step].second();
      if (pass >= 0) spent[step] += ProcessCpuSeconds() - start;
    }
  }
  double total = 0;
  for (std::size_t step = 0; step < steps.size(); ++step) {
    std::printf("%-32s %8.2f ms per pass\n", steps[step].first, 1000 * spent[step] / passes);
    total += spent[step];
  }
  std::printf("%-32s %8.2f ms per pass over %d passes\n", "all steps", 1000 * total / passes, passes);
  return 0;
}
