#include "apply/update_process.h"

#include <optional>
#include <string>

#include "foundation/failure.h"
#include "foundation/path_grammar.h"
#include "os/process.h"

namespace ostrel {
namespace {

constexpr std::uint32_t InstallerTimeoutMilliseconds = 20 * 60 * 1000;

// Starts the process; no environment means the caller's.
os::ProcessInformation Start(std::u16string_view executablePath, std::u16string_view arguments,
                             std::optional<std::u16string_view> environment) {
  // Windows paths cannot hold a double quote, so quoting is enough to keep a
  // path with blanks one argument.
  std::u16string commandLine = u"\"";
  commandLine += executablePath;
  commandLine += u"\" ";
  commandLine += arguments;
  const os::StartupInfo hidden{os::StartfUseShowWindow, os::SwHide};
  // The block is built from UTF-16 strings, which CreateProcess must be told.
  const std::uint32_t flags = os::CreateNoWindow | (environment ? os::CreateUnicodeEnvironment : 0);
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

void AwaitSuccess(const os::ProcessInformation& started) {
  std::uint32_t waited = os::WaitTimeout;
  Require(!os::WaitForSingleObject(started.process, InstallerTimeoutMilliseconds, waited) && waited == os::WaitObject0,
          "Installer did not finish; it was not terminated");
  std::uint32_t exitCode = 0;
  if (const os::Failure failure = os::GetExitCodeProcess(started.process, exitCode)) {
    RaiseLastError("Read installer result", *failure);
  }
  Require(exitCode == 0, "Native installer reported a failure");
}

}  // namespace

void StartUpdateProcess(std::u16string_view executablePath, std::u16string_view arguments, bool wait) {
  os::ProcessInformation started = Start(executablePath, arguments, std::nullopt);
  if (wait) AwaitSuccess(started);
}

void RunInstaller(std::u16string_view installerPath, std::u16string_view arguments, os::Handle verifiedInstaller,
                  std::u16string_view environment) {
  os::ProcessInformation started = Start(installerPath, arguments, environment);
  verifiedInstaller = os::Handle();
  AwaitSuccess(started);
}

}  // namespace ostrel
