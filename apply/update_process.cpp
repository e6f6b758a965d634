#include "apply/update_process.h"

#include <string>

#include "foundation/failure.h"
#include "foundation/path_grammar.h"
#include "os/process.h"

namespace ostrel {
namespace {

constexpr std::uint32_t InstallerTimeoutMilliseconds = 20 * 60 * 1000;

}  // namespace

void StartUpdateProcess(std::u16string_view executablePath, std::u16string_view arguments, bool wait) {
  // Windows paths cannot hold a double quote, so quoting is enough to keep a
  // path with blanks one argument.
  std::u16string commandLine = u"\"";
  commandLine += executablePath;
  commandLine += u"\" ";
  commandLine += arguments;
  const os::StartupInfo hidden{os::StartfUseShowWindow, os::SwHide};
  os::ProcessInformation started;
  // The application name is given, so the file is never looked up on the
  // search path; no handle of this process, which may run as LocalSystem,
  // is inherited.
  if (os::ErrorCode error = os::CreateProcess(executablePath, commandLine, false, os::CreateNoWindow,
                                              ParentPath(executablePath), hidden, started)) {
    RaiseLastError("Start authenticated update", error);
  }
  if (!wait) return;

  Require(os::WaitForSingleObject(started.process, InstallerTimeoutMilliseconds) == os::WaitObject0,
          "Installer did not finish; it was not terminated");
  std::uint32_t exitCode = 0;
  if (os::ErrorCode error = os::GetExitCodeProcess(started.process, exitCode)) {
    RaiseLastError("Read installer result", error);
  }
  Require(exitCode == 0, "Native installer reported a failure");
}

}  // namespace ostrel
