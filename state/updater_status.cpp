#include "state/updater_status.h"

#include <string>

#include "foundation/failure.h"
#include "foundation/path_join.h"
#include "foundation/text_conversion.h"
#include "locations/updater_locations.h"
#include "os/file_system.h"
#include "security/file_in_use.h"
#include "security/protected_file.h"
#include "state/registry_state.h"

namespace ostrel {

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
  std::u16string temporary = JoinPath(directory, StatusTemporaryName);
  WriteProtectedFile(temporary, document);
  // Readers hold the published status for a moment at a time.
  if (const os::Failure failure = RetryWhileInUse([&] {
        return os::MoveFileEx(temporary, JoinPath(directory, StatusFileName),
                              os::MovefileReplaceExisting | os::MovefileWriteThrough);
      })) {
    RaiseLastError("Commit updater status", *failure);
  }
}

}  // namespace ostrel
