#include "service/update_cycle.h"

#include <exception>
#include <stdexcept>
#include <string>

#include "apply/update_process.h"
#include "foundation/failure.h"
#include "foundation/path_join.h"
#include "foundation/text_conversion.h"
#include "inspect/browser_activity.h"
#include "locations/updater_locations.h"
#include "os/file_system.h"
#include "os/process.h"
#include "os/stop_event.h"
#include "release/release_metadata.h"
#include "security/caller_identity.h"
#include "security/file_in_use.h"
#include "security/fixed_location.h"
#include "security/object_acl.h"
#include "security/own_image_path.h"
#include "security/protected_directory.h"
#include "security/protected_file.h"
#include "security/transaction_lock.h"
#include "service/feed_download.h"
#include "service/installer_download.h"
#include "state/bounded_file.h"
#include "state/installer_verification.h"
#include "state/registry_state.h"
#include "state/updater_status.h"

namespace ostrel {
namespace {

constexpr std::uint32_t PauseMilliseconds = 5000;

// The release whose verified installer lies in the working directory, as
// this cycle knows it. The three are set together and never cleared.
struct StagedRelease {
  std::string metadata;  // the exact bytes of its "release.json"; empty: nothing staged
  std::u16string version;
  std::u16string installerName;

  bool Exists() const { return !metadata.empty(); }
};

// The installer of a release that a pass downloaded and verified into
// download.partial but could not commit, because someone held the name it
// commits to: its exact "release.json" bytes. A later pass commits it
// without downloading it again. Only the updater's principals can change
// the file in between, and the worker verifies whatever it runs.
struct VerifiedDownload {
  std::string metadata;

  bool Holds(const std::string& releaseMetadata) const {
    std::uint32_t attributes = 0;
    return releaseMetadata == metadata && !os::GetFileAttributes(PartialDownloadPath(), attributes);
  }
};

std::u16string DataPath(std::u16string_view name) { return JoinPath(UpdaterDataDirectory(), name); }

// Another updater process acts on the staged files: an apply worker holds
// the transaction lock, or one has been started and has not taken it yet.
// The service leaves them alone from that moment on.
bool IsAnotherUpdaterAtWork() { return IsTransactionActive() || IsImageRunning(ApplyWorkerPath()); }

// Takes up the release an earlier run staged, when its files are all still
// protected, signed, intact and newer than the installed version. One no
// longer newer was installed by a worker that ended before it could say so,
// leaving "installing" behind: the truth is published instead.
void ReuseStagedRelease(StagedRelease& staged) {
  const std::u16string metadataPath = DataPath(ReleaseMetadataName);
  const std::u16string signaturePath = DataPath(ReleaseSignatureName);
  ValidateObjectAcl(metadataPath);
  ValidateObjectAcl(signaturePath);
  std::string metadata = ReadBoundedFile(metadataPath, ReleaseMetadataLimit);
  std::string signature = ReadBoundedFile(signaturePath, ReleaseSignatureLimit);
  ReleaseMetadata release = VerifyReleaseMetadata(metadata, signature);
  const std::u16string installerPath = DataPath(ToUtf16(release.file));
  ValidateObjectAcl(installerPath);
  VerifyInstaller(installerPath, release);
  if (!IsNewerThanInstalled(release.version)) {
    WriteStatus(StatusUpToDate, u"", "");
    return;
  }
  staged = StagedRelease{std::move(metadata), ToUtf16(release.version), ToUtf16(release.file)};
  WriteStatus(StatusReady, staged.version, "");
}

// Stays quiet in the status: what was staged before is the truth shown.
void PublishNothingNewer(const StagedRelease& staged) {
  WriteStatus(staged.Exists() ? StatusReady : StatusUpToDate, staged.version, "");
}

// False when another updater process has begun to act on the staged files,
// to which the cycle then leaves them.
bool CheckForUpdate(StagedRelease& staged, VerifiedDownload& downloaded) {
  std::string metadata = DownloadFeedFile(ReleaseMetadataName, ReleaseMetadataLimit);
  std::string signature = DownloadFeedFile(ReleaseSignatureName, ReleaseSignatureLimit);
  ReleaseMetadata release = VerifyReleaseMetadata(metadata, signature);
  const std::u16string version = ToUtf16(release.version);
  if (!IsNewerThanInstalled(release.version)) {
    PublishNothingNewer(staged);
    return true;
  }
  if (metadata == staged.metadata) return true;

  const std::u16string installerName = ToUtf16(release.file);
  if (!downloaded.Holds(metadata)) {
    downloaded.metadata.clear();
    WriteStatus(StatusDownloading, version, "");
    DownloadVerifiedInstaller(release, metadata);
    downloaded.metadata = metadata;
  }
  if (IsAnotherUpdaterAtWork()) return false;
  if (const os::Failure failure = RetryWhileInUse([&] {
        return os::MoveFileEx(PartialDownloadPath(), DataPath(installerName),
                              os::MovefileReplaceExisting | os::MovefileWriteThrough);
      })) {
    RaiseLastError("Commit verified installer", *failure);
  }
  downloaded.metadata.clear();
  ForgetPartialDownload();
  WriteProtectedFile(DataPath(ReleaseMetadataName), metadata);
  WriteProtectedFile(DataPath(ReleaseSignatureName), signature);
  if (!staged.installerName.empty() && staged.installerName != installerName) {
    // A leftover installer costs disk space, nothing else: it is never run
    // without its signed metadata.
    (void)os::DeleteFile(DataPath(staged.installerName));
  }
  staged = StagedRelease{std::move(metadata), version, installerName};
  WriteStatus(StatusReady, staged.version, "");
  return true;
}

// One check, its standard failures published. False when the cycle ends:
// another updater took over, or a stop request caused the failure, which
// ends the cycle without a word.
bool CheckAndPublishFailure(StagedRelease& staged, VerifiedDownload& downloaded) {
  try {
    return CheckForUpdate(staged, downloaded);
  } catch (const std::exception& failure) {
    if (os::IsStopEventSet()) return false;
    WriteStatus(staged.Exists() ? StatusReady : StatusError, staged.version, failure.what());
  }
  return true;
}

void HandOff(const StagedRelease& staged) {
  const std::u16string worker = ApplyWorkerPath();
  // A reader of the previous copy is waited for; a copy still running has
  // been ruled out by the caller.
  if (const os::Failure failure = RetryWhileInUse([&] { return os::CopyFile(OwnImagePath(), worker, false); })) {
    RaiseLastError("Prepare protected updater worker", *failure);
  }
  ValidateObjectAcl(worker);
  WriteStatus(StatusInstalling, staged.version, "");
  std::u16string arguments = u"--apply " + ToUtf16(std::to_string(os::GetCurrentProcessId()));
  StartUpdateProcess(worker, arguments, false);
}

}  // namespace

void RunUpdateCycle() {
  Require(IsLocalSystem(), "Updater service must run as SYSTEM");
  RequireFixedLocation();
  EnsureProtectedDirectory(UpdaterDataDirectory());
  if (IsAnotherUpdaterAtWork()) return;

  StagedRelease staged;
  try {
    ReuseStagedRelease(staged);
  } catch (...) {
    // Whatever is wrong with the staged files, the feed is the remedy.
  }

  VerifiedDownload downloaded;
  // Any user may start the service, so a second instance may start while
  // an apply worker is at work: each pass, and so each hand-off, first
  // makes sure none is.
  while (!os::IsStopEventSet() && !IsUninstalling() && !IsAnotherUpdaterAtWork()) {
    if (!IsBrowserRunning()) {
      if (staged.Exists()) HandOff(staged);
      return;
    }
    if (!CheckAndPublishFailure(staged, downloaded)) return;
    if (os::WaitForStopEvent(PauseMilliseconds)) return;
  }
}

}  // namespace ostrel
