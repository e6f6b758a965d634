#include "service/installer_download.h"

#include <exception>
#include <stdexcept>
#include <string>

#include "foundation/failure.h"
#include "foundation/text_conversion.h"
#include "locations/updater_locations.h"
#include "os/file.h"
#include "os/stop_event.h"
#include "security/protected_file.h"
#include "service/content_range.h"
#include "service/feed_request.h"
#include "state/bounded_file.h"
#include "state/installer_backoff.h"
#include "state/installer_verification.h"
#include "state/update_history.h"

namespace ostrel {
namespace {

constexpr const char* CreateFailure = "Create update download";
constexpr const char* EndedEarlyMessage = "Update download ended early";

// How many bytes of the release's installer the open partial file holds
// already: its length when the record beside it names exactly this release
// and it is no longer than signed; otherwise nothing is known of its bytes.
std::uint64_t KeptBytes(const os::Handle& partial, const ReleaseMetadata& release, std::string_view metadata) {
  std::string recorded;
  try {
    recorded = ReadBoundedFile(PartialDownloadReleasePath(), ReleaseMetadataLimit);
  } catch (const std::exception&) {
    return 0;
  }
  std::uint64_t length = 0;
  if (recorded != metadata || os::GetFileSizeEx(partial, length) || length > release.size) return 0;
  return length;
}

void MoveTo(const os::Handle& partial, std::uint64_t position) {
  if (const os::Failure failure = os::SetFilePointerEx(partial, position)) RaiseLastError(CreateFailure, *failure);
}

// Empties the partial file, then records the release it is to hold: in this
// order, so the record never names bytes of another release.
void StartAfresh(const os::Handle& partial, std::string_view metadata) {
  MoveTo(partial, 0);
  if (const os::Failure failure = os::SetEndOfFile(partial)) RaiseLastError(CreateFailure, *failure);
  WriteProtectedFile(PartialDownloadReleasePath(), metadata);
}

// Writes the body where the file's handle stands, at most room bytes.
void Append(FeedRequest& request, const os::Handle& partial, std::uint64_t room) {
  request.ReadBody(room, [&partial](std::span<const char> bytes) {
    std::uint32_t written = 0;
    const os::Failure failure = os::WriteFile(partial, bytes, written);
    // A short write is no failure of the call and carries no code of its own.
    if (failure || written != bytes.size()) {
      RaiseLastError("Write update download", failure.value_or(os::ErrorSuccess));
    }
  });
}

// A partial response continues the file when it starts at the first byte
// asked for and stays within the signed size.
bool Continues(const FeedRequest& request, std::uint64_t kept, std::uint64_t size) {
  if (request.Status() != os::HttpStatusPartialContent) return false;
  const std::optional<ByteRange> range = ParseContentRange(request.ContentRange());
  return range && range->first == kept && range->last < size;
}

void Download(FeedConnection& connection, const ReleaseMetadata& release, std::string_view metadata,
              const os::Handle& partial) {
  const std::u16string fileName = ToUtf16(release.file);
  const std::uint64_t kept = KeptBytes(partial, release, metadata);
  if (kept == release.size && kept > 0) return;
  if (kept > 0) {
    FeedRequest request(connection, fileName, kept);
    if (Continues(request, kept, release.size)) {
      RecordHistory(HistoryRole::Service, "Download of " + release.file + " resumed at " + std::to_string(kept) +
                                              " bytes");
      MoveTo(partial, kept);
      Append(request, partial, release.size - kept);
      return;
    }
    request.RequireStatus({os::HttpStatusOk, os::HttpStatusPartialContent});
    if (request.Status() == os::HttpStatusOk) {
      // A server that does not serve ranges sends the whole file.
      RecordHistory(HistoryRole::Service, "Download of " + release.file + " started");
      StartAfresh(partial, metadata);
      Append(request, partial, release.size);
      return;
    }
  }
  RecordHistory(HistoryRole::Service, "Download of " + release.file + " started");
  StartAfresh(partial, metadata);
  FeedRequest request(connection, fileName, std::nullopt);
  request.RequireStatus({os::HttpStatusOk});
  Append(request, partial, release.size);
}

// A transfer can end quietly before the signed size, as when the server
// dies mid-body and the system takes the closed connection for the body's
// end. Such a file is kept, as one cut by an error is, for the next
// attempt to continue.
void RequireWhole(const os::Handle& partial, const ReleaseMetadata& release) {
  std::uint64_t length = 0;
  if (const os::Failure failure = os::GetFileSizeEx(partial, length)) RaiseLastError(CreateFailure, *failure);
  if (length == release.size) return;
  RecordHistory(HistoryRole::Service, "Download of " + release.file + " ended at " + std::to_string(length) +
                                          " of " + std::to_string(release.size) + " bytes");
  throw std::runtime_error(EndedEarlyMessage);
}

// A verification failure starts the pause before the next download of this
// release; a failure to record it must not hide the verification's own.
void HoldBackRelease(std::string_view metadata, const std::string& message) {
  try {
    RecordInstallerFailure(metadata, message);
  } catch (...) {
  }
}

}  // namespace

void DownloadVerifiedInstaller(FeedConnection& connection, const ReleaseMetadata& release,
                               std::string_view metadata) {
  {
    // Shared with nobody while it is written.
    os::Handle partial = OpenProtectedFile(PartialDownloadPath(), 0, os::FileAttributeNormal, CreateFailure);
    Download(connection, release, metadata, partial);
    if (const os::Failure failure = os::FlushFileBuffers(partial)) RaiseLastError("Flush update download", *failure);
    RequireWhole(partial, release);
  }
  RecordHistory(HistoryRole::Service,
                "Download of " + release.file + " completed with " + std::to_string(release.size) + " bytes");
  try {
    VerifyInstaller(PartialDownloadPath(), release);
  } catch (...) {
    const std::string failure = MessageOf(std::current_exception());
    RecordHistory(HistoryRole::Service, "Installer of release " + release.version + " failed verification", failure);
    if (!os::IsStopEventSet()) {
      ForgetPartialDownload();
      HoldBackRelease(metadata, failure);
    }
    throw;
  }
  ForgetInstallerFailures();
  RecordHistory(HistoryRole::Service, "Installer of release " + release.version + " verified");
}

void ForgetPartialDownload() {
  (void)os::DeleteFile(PartialDownloadPath());
  (void)os::DeleteFile(PartialDownloadReleasePath());
}

}  // namespace ostrel
