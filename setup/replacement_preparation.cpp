#include "setup/replacement_preparation.h"

#include "security/caller_identity.h"
#include "security/fixed_location.h"
#include "setup/service_stop.h"

namespace ostrel {
namespace {

constexpr std::uint32_t StopAndQueryAccess = os::ServiceStop | os::ServiceQueryStatus;
static_assert(StopAndQueryAccess == 0x24);

}  // namespace

void PrepareReplacement() {
  RequireAdministrator("Preparing an update requires elevation");
  RequireFixedLocation();
  os::ServiceHandle manager;
  os::ServiceHandle service;
  OpenUpdaterService(StopAndQueryAccess, "Open updater preparation", "Cannot inspect existing updater", manager,
                     service);
  if (service.value() == 0) return;
  StopServiceAndWait(service, {"Stop updater before replacement", "Read updater preparation status",
                               "Updater has not stopped; its executable was not replaced"});
}

}  // namespace ostrel
