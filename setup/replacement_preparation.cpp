#include "setup/replacement_preparation.h"

#include "foundation/failure.h"
#include "security/caller_identity.h"
#include "security/fixed_location.h"
#include "setup/service_stop.h"

namespace ostrel {
namespace {

constexpr std::uint32_t PreparationAccess = os::ServiceChangeConfig | os::ServiceStop | os::ServiceQueryStatus;
static_assert(PreparationAccess == 0x26);

// Disabled before it is stopped, so that nobody can start it again in
// between, nor until "--install" sets demand start back: no pass runs and no
// staged installer is handed off while the executable is being replaced.
void DisableService(const os::ServiceHandle& service) {
  const os::ServiceConfiguration disabled{os::ServiceNoChange, os::ServiceDisabled, os::ServiceNoChange, u""};
  if (const os::Failure failure = os::ChangeServiceConfig(service, disabled)) {
    RaiseLastError("Disable updater before replacement", *failure);
  }
}

}  // namespace

void PrepareReplacement() {
  RequireAdministrator("Preparing an update requires elevation");
  RequireFixedLocation();
  os::ServiceHandle manager;
  os::ServiceHandle service;
  OpenUpdaterService(PreparationAccess, "Open updater preparation", "Cannot inspect existing updater", manager,
                     service);
  if (service.value() == 0) return;
  DisableService(service);
  StopServiceAndWait(service, {"Stop updater before replacement", "Read updater preparation status",
                               "Updater has not stopped; its executable was not replaced"});
}

}  // namespace ostrel
