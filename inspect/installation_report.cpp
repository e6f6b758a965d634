#include "inspect/installation_report.h"

#include <string>
#include <string_view>
#include <vector>

#include "build_configuration.h"
#include "foundation/ascii_case.h"
#include "foundation/failure.h"
#include "foundation/json_access.h"
#include "foundation/text_conversion.h"
#include "inspect/browser_activity.h"
#include "inspect/process_list.h"
#include "locations/path_existence.h"
#include "locations/updater_locations.h"
#include "os/registry.h"
#include "os/standard_streams.h"
#include "security/object_acl.h"

namespace ostrel {
namespace {

constexpr std::uint32_t UninstallStringBufferBytes = 65536;

// A registration matches when "UninstallString" holds the command, ignoring
// the case of A to Z only; a value that cannot be read as a string of at
// most 65,536 bytes, terminator included, does not match.
bool RegistrationMatches(std::uint32_t view, std::u16string_view command) {
  std::vector<char16_t> buffer(UninstallStringBufferBytes / sizeof(char16_t));
  std::uint32_t size = UninstallStringBufferBytes;
  if (os::RegGetValue(os::RootKey::HkeyLocalMachine, LegacyUninstallKey, u"UninstallString", os::RrfRtRegSz | view,
                      buffer.data(), size)) {
    return false;
  }
  // The whole value the read returned but the terminator it counts: a zero
  // inside belongs to the value, so "<command>\0anything" is not the command.
  std::u16string_view value(buffer.data(), size / sizeof(char16_t));
  if (!value.empty() && value.back() == u'\0') value.remove_suffix(1);
  return EqualIgnoringAsciiCase(value, command);
}

// The report line must reach standard output whole: an exit code without it
// would tell a script an answer that nobody wrote.
void WriteReportLine(std::string_view line) {
  std::uint32_t written = 0;
  if (const os::Failure failure = os::WriteFileToStandardOutput(line, written)) {
    RaiseLastError("Write installation report", *failure);
  }
  Require(written == line.size(), "Write installation report");
}

// Both files of a legacy installation must be there, protected, and
// registered for uninstalling with exactly this uninstaller.
void ValidateLegacyInstallation(bool executable, bool uninstaller) {
  Require(executable && uninstaller, "Incomplete legacy Ostrel installation");
  ValidateObjectAcl(LegacyExecutablePath());
  ValidateObjectAcl(LegacyUninstallerPath());
  std::u16string command = u"\"";
  command += LegacyUninstallerPath();
  command += u"\" /allusers";
  bool in64BitView = RegistrationMatches(os::RrfSubkeyWow6464Key, command);
  bool in32BitView = RegistrationMatches(os::RrfSubkeyWow6432Key, command);
  Require(in64BitView || in32BitView, "Legacy Ostrel uninstaller does not match its protected registration");
}

}  // namespace

int RunInstallationReport() {
  const bool legacy = PathExists(LegacyExecutablePath());
  const bool uninstaller = PathExists(LegacyUninstallerPath());
  const bool directory = PathExists(ApplicationDirectory());
  if (directory) ValidateObjectAcl(ApplicationDirectory());
  if (legacy || uninstaller) ValidateLegacyInstallation(legacy, uninstaller);

  const ProcessList processes = ListProcesses();
  bool running = IsBrowserRunning(processes);
  if (!running && legacy) running = IsImageRunning(processes, LegacyExecutablePath());

  JsonObject report;
  report.SetNamedValue(u"readOnly", JsonValue::CreateBooleanValue(true));
  report.SetNamedValue(u"legacy", JsonValue::CreateBooleanValue(legacy));
  report.SetNamedValue(u"running", JsonValue::CreateBooleanValue(running));
  // The newline as a text-mode stream writes it.
  WriteReportLine(ToUtf8(report.Stringify()) + "\r\n");
  if (running) return 10;
  return legacy ? 11 : 0;
}

}  // namespace ostrel
