#include "state/updater_service.h"

#include "foundation/failure.h"
#include "locations/updater_locations.h"

namespace ostrel {

UpdaterService OpenUpdaterService(std::uint32_t access) {
  UpdaterService opened;
  if (const os::Failure failure = os::OpenSCManager(os::ScManagerConnect, opened.manager)) {
    RaiseLastError("Open update control", *failure);
  }
  if (const os::Failure failure = os::OpenService(opened.manager, ServiceName, access, opened.service)) {
    RaiseLastError("Open native updater", *failure);
  }
  return opened;
}

}  // namespace ostrel
