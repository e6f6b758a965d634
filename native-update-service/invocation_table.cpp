#include "native-update-service/invocation_table.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "apply/apply_worker.h"
#include "bridge/native_messaging_host.h"
#include "build_configuration.h"
#include "foundation/failure.h"
#include "foundation/text_conversion.h"
#include "inspect/installation_report.h"
#include "locations/updater_locations.h"
#include "native-update-service/parent_process_id.h"
#include "os/service_control.h"
#include "security/fixed_location.h"
#include "service/service_host.h"
#include "setup/replacement_preparation.h"
#include "setup/updater_installation.h"
#include "setup/updater_removal.h"
#include "state/update_history.h"

namespace ostrel {
namespace {

// The native messaging row takes whatever the browser passes after the origin.
constexpr int AnyArgumentCount = -1;

struct Invocation {
  std::u16string_view option;
  int argumentCount;
  int (*run)(const char16_t* const* arguments);
};

int RunServiceDispatcher() {
  RequireFixedLocation();
  // Blocks until the service has stopped; from a console the service control
  // manager refuses the connection.
  if (const os::Failure failure = os::StartServiceCtrlDispatcher(ServiceName, ServiceMain)) {
    RaiseLastError("Connect service dispatcher", *failure);
  }
  return 0;
}

// Runs the setup command and records its outcome in the history: the
// command line's words, then "succeeded" or "failed" with the failure's
// message, which still ends where every failure of the role ends.
int RunRecorded(HistoryRole role, std::string command, const std::function<void()>& run) {
  try {
    run();
  } catch (...) {
    RecordHistory(role, command + " failed", MessageOf(std::current_exception()));
    throw;
  }
  RecordHistory(role, command + " succeeded");
  return 0;
}

constexpr Invocation Invocations[] = {
    {u"--inspect-installation", 2, [](const char16_t* const*) { return RunInstallationReport(); }},
    {AllowedExtensionOrigin, AnyArgumentCount, [](const char16_t* const*) { return RunNativeMessagingHost(); }},
    {u"--service", 2, [](const char16_t* const*) { return RunServiceDispatcher(); }},
    {u"--install", 3,
     [](const char16_t* const* arguments) {
       const std::u16string version(arguments[2]);
       return RunRecorded(HistoryRole::Install, "--install " + ToUtf8(version), [&] { InstallUpdater(version); });
     }},
    {u"--uninstall", 2,
     [](const char16_t* const*) { return RunRecorded(HistoryRole::Uninstall, "--uninstall", RemoveUpdater); }},
    {u"--prepare-install", 2,
     [](const char16_t* const*) {
       return RunRecorded(HistoryRole::PrepareInstall, "--prepare-install", PrepareReplacement);
     }},
    {u"--apply", 3,
     [](const char16_t* const* arguments) {
       RunApplyWorker(ParseParentProcessId(arguments[2]));
       return 0;
     }},
};

}  // namespace

int RunInvocation(int argumentCount, const char16_t* const* arguments) {
  // Exact means the same length and every UTF-16 unit equal: no case folding,
  // trimming, prefixes or "=value" forms.
  const std::u16string selector = argumentCount >= 2 ? arguments[1] : u"";
  for (const Invocation& invocation : Invocations) {
    bool countMatches = invocation.argumentCount == AnyArgumentCount || invocation.argumentCount == argumentCount;
    if (selector == invocation.option && countMatches) return invocation.run(arguments);
  }
  throw std::runtime_error("Unsupported native updater invocation");
}

}  // namespace ostrel
