#include "security/fixed_location.h"

#include <string>

#include "foundation/failure.h"
#include "foundation/path_comparison.h"
#include "locations/updater_locations.h"
#include "security/object_acl.h"
#include "security/own_image_path.h"

namespace ostrel {

void RequireFixedLocation() {
  const std::u16string image = OwnImagePath();
  Require(SamePath(image, InstalledUpdaterPath()), "Updater is not installed in its fixed application directory");
  ValidateObjectAcl(ApplicationDirectory());
  ValidateObjectAcl(UpdaterDirectory());
  ValidateObjectAcl(image);
}

}  // namespace ostrel
