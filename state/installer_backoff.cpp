#include "state/installer_backoff.h"

#include <algorithm>
#include <cstdint>
#include <exception>

#include "foundation/hex_text.h"
#include "foundation/json_access.h"
#include "foundation/path_join.h"
#include "foundation/text_conversion.h"
#include "locations/updater_locations.h"
#include "os/file_system.h"
#include "release/sha512_hash.h"
#include "security/protected_file.h"
#include "state/bounded_file.h"
#include "state/utc_clock.h"

namespace ostrel {
namespace {

constexpr std::int64_t FirstPauseSeconds = 120;
constexpr std::int64_t LongestPauseSeconds = 3600;
constexpr std::uint64_t RecordLimit = 4096;

struct BackoffRecord {
  std::string release;  // the SHA-512 of its "release.json", in hex
  std::int64_t failures = 0;
  std::int64_t failedAt = 0;  // seconds since 1970
  std::string message;
};

std::u16string RecordPath() { return JoinPath(UpdaterDataDirectory(), InstallerBackoffName); }

std::string ReleaseDigest(std::string_view metadata) {
  Sha512Hash hash;
  hash.Update(metadata.data(), metadata.size());
  const Sha512Digest digest = hash.Finish();
  return HexText(digest);
}

std::optional<BackoffRecord> ReadRecord() {
  try {
    const JsonObject record = JsonObject::Parse(ToUtf16(ReadBoundedFile(RecordPath(), RecordLimit)));
    return BackoffRecord{ToUtf8(record.GetNamedString(u"release")),
                         static_cast<std::int64_t>(record.GetNamedNumber(u"failures")),
                         static_cast<std::int64_t>(record.GetNamedNumber(u"failedAt")),
                         ToUtf8(record.GetNamedString(u"message"))};
  } catch (...) {
    return std::nullopt;
  }
}

std::int64_t PauseSeconds(std::int64_t failures) {
  std::int64_t pause = FirstPauseSeconds;
  for (std::int64_t failure = 1; failure < failures && pause < LongestPauseSeconds; ++failure) pause *= 2;
  return std::min(pause, LongestPauseSeconds);
}

}  // namespace

std::optional<std::string> InstallerBackoffFailure(std::string_view metadata) {
  const std::optional<BackoffRecord> record = ReadRecord();
  if (!record || record->release != ReleaseDigest(metadata)) return std::nullopt;
  const std::int64_t now = UnixSecondsNow();
  if (now < record->failedAt || now >= record->failedAt + PauseSeconds(record->failures)) return std::nullopt;
  return record->message;
}

void RecordInstallerFailure(std::string_view metadata, std::string_view message) {
  const std::string release = ReleaseDigest(metadata);
  const std::optional<BackoffRecord> earlier = ReadRecord();
  const std::int64_t failures = earlier && earlier->release == release ? earlier->failures + 1 : 1;
  JsonObject record;
  record.SetNamedValue(u"release", JsonValue::CreateStringValue(ToUtf16(release)));
  record.SetNamedValue(u"failures", JsonValue::CreateNumberValue(static_cast<double>(failures)));
  record.SetNamedValue(u"failedAt", JsonValue::CreateNumberValue(static_cast<double>(UnixSecondsNow())));
  record.SetNamedValue(u"message", JsonValue::CreateStringValue(ToUtf16(message)));
  WriteProtectedFile(RecordPath(), ToUtf8(record.Stringify()));
}

void ForgetInstallerFailures() { (void)os::DeleteFile(RecordPath()); }

}  // namespace ostrel
