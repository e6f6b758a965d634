#include "bridge/control_action.h"

#include <algorithm>
#include <array>
#include <string>

#include "foundation/failure.h"
#include "foundation/path_existence.h"
#include "foundation/path_join.h"
#include "foundation/text_conversion.h"
#include "foundation/updater_locations.h"
#include "foundation/updater_status.h"
#include "release/bounded_file.h"
#include "security/fixed_location.h"
#include "security/object_acl.h"

namespace ostrel {
namespace {

constexpr std::uint64_t StatusFileLimit = 65536;

constexpr std::array<std::u16string_view, 3> Actions = {u"check", u"status", u"stop"};

// What the service last published, or "checking" before it ever has.
JsonObject StatusReply() {
  const std::u16string directory = UpdaterDataDirectory();
  const std::u16string path = JoinPath(directory, StatusFileName);
  if (!PathExists(path)) return BuildStatusRecord(StatusChecking, u"", "");
  ValidateObjectAcl(directory);
  ValidateObjectAcl(path);
  return JsonObject::Parse(ToUtf16(ReadBoundedFile(path, StatusFileLimit)));
}

}  // namespace

JsonObject RunControlAction(std::u16string_view action) {
  RequireFixedLocation();
  Require(std::ranges::find(Actions, action) != Actions.end(), "Unsupported updater request");
  return StatusReply();
}

}  // namespace ostrel
