#include "apply/update_process.h"

#include <optional>
#include <string>

#include "apply/installer_job.h"
#include "foundation/failure.h"
#include "foundation/path_grammar.h"
#include "os/process.h"
#include "state/update_history.h"

namespace ostrel {
namespace {

// Starts the process; no environment means the caller's.
os::ProcessInformation Start(std::u16string_view executablePath, std::u16string_view arguments,
                             std::optional<std::u16string_view> environment, std::uint32_t creationFlags) {
  // Windows paths cannot hold a double quote, so quoting is enough to keep a
  // path with blanks one argument.
  std::u16string commandLine = u"\"";
  commandLine += executablePath;
  commandLine += u"\" ";
  commandLine += arguments;
  const os::StartupInfo hidden{os::StartfUseShowWindow, os::SwHide};
  // The block is built from UTF-16 strings, which CreateProcess must be told.
  const std::uint32_t flags = creationFlags | os::CreateNoWindow | (environment ? os::CreateUnicodeEnvironment : 0);
  os::ProcessInformation started;
  // The application name is given, so the file is never looked up on the
  // search path; no handle of this process, which may run as LocalSystem,
  // is inherited.
  if (const os::Failure failure = os::CreateProcess(executablePath, commandLine, false, flags, environment,
                                                    ParentPath(executablePath), hidden, started)) {
    RaiseLastError("Start authenticated update", *failure);
  }
  return started;
}

// Runs the process in a job of its own until every process of the job has
// ended; the process started decides success by its exit code. The handle
// kept is closed once CreateProcess has returned.
void RunInJob(std::u16string_view executablePath, std::u16string_view arguments,
              std::optional<std::u16string_view> environment, os::Handle kept) {
  os::Handle job = CreateInstallerJob();
  const std::uint64_t startedAt = AwakeMilliseconds();
  // Suspended until it is in the job, so nothing it starts can escape it.
  os::ProcessInformation started = Start(executablePath, arguments, environment, os::CreateSuspended);
  kept = os::Handle();
  StartInJob(job, started);
  AwaitEmptyJob(job, startedAt);
  std::uint32_t exitCode = 0;
  if (const os::Failure failure = os::GetExitCodeProcess(started.process, exitCode)) {
    RaiseLastError("Read installer result", *failure);
  }
  RecordHistory(HistoryRole::Worker, "Installer exited with code " + std::to_string(exitCode) + " after " +
                                         std::to_string((AwakeMilliseconds() - startedAt) / 1000) + " s");
  Require(exitCode == 0, "Native installer reported a failure");
}

}  // namespace

void StartUpdateProcess(std::u16string_view executablePath, std::u16string_view arguments, bool wait) {
  if (wait) {
    RunInJob(executablePath, arguments, std::nullopt, os::Handle());
  } else {
    Start(executablePath, arguments, std::nullopt, 0);
  }
}

void RunInstaller(std::u16string_view installerPath, std::u16string_view arguments, os::Handle verifiedInstaller,
                  std::u16string_view environment) {
  RunInJob(installerPath, arguments, environment, std::move(verifiedInstaller));
}

}  // namespace ostrel
