#include "service/worker_processes.h"

#include <cstdint>

#include "inspect/browser_activity.h"
#include "locations/updater_locations.h"
#include "os/access_rights.h"
#include "os/process.h"
#include "os/tick_count.h"

namespace ostrel {
namespace {

// A minute in FILETIME units: the start, the protected directory's checks
// and the lock's attempts take a second or two even on a busy machine.
constexpr std::uint64_t StartAllowance = 60ULL * 10'000'000;
constexpr std::uint32_t EndWaitMilliseconds = 5000;

// A creation time after now (the clock was set back) counts as young.
bool IsStarting(const os::Handle& process, std::uint64_t now) {
  std::uint64_t createdAt = 0;
  if (os::GetProcessTimes(process, createdAt)) return true;
  return now < createdAt || now - createdAt < StartAllowance;
}

}  // namespace

bool IsWorkerStarting(const ProcessList& processes) {
  const std::uint64_t now = os::GetSystemTimeAsFileTime();
  bool starting = false;
  VisitImageProcesses(processes, ApplyWorkerPath(), 0, [&](os::Handle process) {
    starting = IsStarting(process, now);
    return !starting;
  });
  return starting;
}

void EndStaleWorkers(const ProcessList& processes) {
  const std::uint64_t now = os::GetSystemTimeAsFileTime();
  VisitImageProcesses(processes, ApplyWorkerPath(), os::ProcessTerminate | os::Synchronize, [&](os::Handle process) {
    std::uint32_t waited = 0;
    if (!IsStarting(process, now) && !os::TerminateProcess(process, 1)) {
      (void)os::WaitForSingleObject(process, EndWaitMilliseconds, waited);
    }
    return true;
  });
}

}  // namespace ostrel
