#include "state/updater_status.h"

#include <string>

#include "foundation/failure.h"
#include "foundation/path_join.h"
#include "foundation/text_conversion.h"
#include "locations/updater_locations.h"
#include "locations/path_existence.h"
#include "security/object_acl.h"
#include "security/protected_file.h"
#include "state/bounded_file.h"
#include "state/registry_state.h"

namespace ostrel {
namespace {

constexpr std::uint64_t StatusFileLimit = 65536;

}  // namespace

JsonObject BuildStatusRecord(std::u16string_view state, std::u16string_view availableVersion, const char* message) {
  JsonObject record;
  record.SetNamedValue(u"ok", JsonValue::CreateBooleanValue(true));
  record.SetNamedValue(u"state", JsonValue::CreateStringValue(state));
  record.SetNamedValue(u"installedVersion", JsonValue::CreateStringValue(ReadInstalledVersion()));
  if (!availableVersion.empty()) {
    record.SetNamedValue(u"availableVersion", JsonValue::CreateStringValue(availableVersion));
  }
  if (*message != '\0') record.SetNamedValue(u"message", JsonValue::CreateStringValue(ToUtf16(message)));
  return record;
}

void WriteStatus(std::u16string_view state, std::u16string_view availableVersion, const char* message) {
  std::string document = ToUtf8(BuildStatusRecord(state, availableVersion, message).Stringify());
  // Both names in the one directory computed here, so the move never leaves it.
  std::u16string directory = UpdaterDataDirectory();
  ReplaceProtectedFile(JoinPath(directory, StatusFileName), JoinPath(directory, StatusTemporaryName), document,
                       "Commit updater status");
}

std::optional<JsonObject> ReadPublishedStatus() {
  const std::u16string directory = UpdaterDataDirectory();
  const std::u16string path = JoinPath(directory, StatusFileName);
  if (!PathExists(path)) return std::nullopt;
  ValidateObjectAcl(directory);
  ValidateObjectAcl(path);
  return JsonObject::Parse(ToUtf16(ReadBoundedFile(path, StatusFileLimit)));
}

}  // namespace ostrel
