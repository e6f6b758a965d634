#include "bridge/control_action.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "foundation/failure.h"
#include "locations/updater_locations.h"
#include "os/service_manager.h"
#include "security/fixed_location.h"
#include "security/transaction_lock.h"
#include "state/machine_policy.h"
#include "state/registry_state.h"
#include "state/updater_service.h"
#include "state/updater_status.h"

namespace ostrel {
namespace {

enum class ServiceRequest { None, Start, Stop };

struct ControlActionEntry {
  std::u16string_view name;
  ServiceRequest request;
  // What the service is opened with; the service's security grants exactly
  // these to ordinary users.
  std::uint32_t serviceAccess;
};

constexpr ControlActionEntry ControlActions[] = {
    {u"check", ServiceRequest::Start, os::ServiceQueryStatus | os::ServiceStart},
    {u"status", ServiceRequest::None, 0},
    {u"stop", ServiceRequest::Stop, os::ServiceQueryStatus | os::ServiceStop},
};

// Asks for the start or the stop and returns without waiting for the service
// to get there. A service already where it was asked to go is no failure.
void RequestService(const ControlActionEntry& action) {
  const UpdaterService updater = OpenUpdaterService(action.serviceAccess);
  if (action.request == ServiceRequest::Start) {
    const os::Failure failure = os::StartService(updater.service);
    if (failure && failure != os::ErrorServiceAlreadyRunning) {
      RaiseLastError("Start native updater", *failure);
    }
  } else {
    const os::Failure failure = os::ControlService(updater.service, os::ServiceControlStop);
    if (failure && failure != os::ErrorServiceNotActive) RaiseLastError("Stop native updater", *failure);
  }
}

// What the service last published, or "checking" before it ever has.
JsonObject StatusReply() {
  std::optional<JsonObject> published = ReadPublishedStatus();
  return published ? std::move(*published) : BuildStatusRecord(StatusChecking, u"", "");
}

}  // namespace

JsonObject RunControlAction(std::u16string_view name) {
  RequireFixedLocation();
  const auto* action = std::ranges::find(ControlActions, name, &ControlActionEntry::name);
  Require(action != std::ranges::end(ControlActions), "Unsupported updater request");
  // While the apply worker installs, a check has nothing to start: this
  // answer comes before every other test, the uninstall flag included.
  if (action->request == ServiceRequest::Start && IsTransactionActive()) {
    return BuildStatusRecord(StatusInstalling, u"", "");
  }
  if (action->request == ServiceRequest::Start) {
    Require(ReadMachinePolicy().updatesEnabled, UpdatesTurnedOffMessage);
  }
  if (action->request != ServiceRequest::None) {
    Require(!IsUninstalling(), "Ostrel is being uninstalled");
    RequestService(*action);
  }
  return StatusReply();
}

}  // namespace ostrel
