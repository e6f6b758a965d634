#include "setup/updater_removal.h"

#include "foundation/failure.h"
#include "locations/updater_locations.h"
#include "security/caller_identity.h"
#include "security/fixed_location.h"
#include "security/protected_directory.h"
#include "security/transaction_lock.h"
#include "setup/host_registration.h"
#include "setup/service_stop.h"
#include "state/registry_state.h"

namespace ostrel {
namespace {

constexpr std::uint32_t RemovalAccess = os::Delete | os::ServiceStop | os::ServiceQueryStatus;
static_assert(RemovalAccess == 0x10024);

}  // namespace

void RemoveUpdater() {
  RequireAdministrator("Removing the updater requires elevation");
  RequireFixedLocation();
  // From here on no update is applied, whatever happens next.
  SetUninstalling(true);
  os::ServiceHandle manager;
  os::ServiceHandle service;
  OpenUpdaterService(RemovalAccess, "Open updater removal", "Cannot inspect updater service for removal", manager,
                     service);
  if (service.value() != 0) {
    StopServiceAndWait(service, {"Stop updater for removal", "Read updater removal status",
                                 "Updater has not stopped; no application files were removed"});
  }
  EnsureProtectedDirectory(UpdaterDataDirectory());
  // Held to the end: an apply worker that starts now finds it taken.
  os::Handle lock = AcquireTransactionLock(UninstallLockPolicy);
  if (service.value() != 0) {
    const os::Failure failure = os::DeleteService(service);
    if (failure && failure != os::ErrorServiceMarkedForDelete) {
      RaiseLastError("Remove updater service", *failure);
    }
  }
  RemoveNativeHostRegistration();
}

}  // namespace ostrel
