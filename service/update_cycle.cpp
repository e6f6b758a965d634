#include "service/update_cycle.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "apply/update_process.h"
#include "foundation/failure.h"
#include "foundation/path_join.h"
#include "foundation/text_conversion.h"
#include "inspect/browser_activity.h"
#include "inspect/process_list.h"
#include "locations/updater_locations.h"
#include "os/file_system.h"
#include "os/process.h"
#include "os/stop_event.h"
#include "os/tick_count.h"
#include "release/release_metadata.h"
#include "security/caller_identity.h"
#include "security/file_in_use.h"
#include "security/fixed_location.h"
#include "security/object_acl.h"
#include "security/own_image_path.h"
#include "security/protected_directory.h"
#include "security/protected_file.h"
#include "security/transaction_lock.h"
#include "service/feed_connection.h"
#include "service/feed_download.h"
#include "service/feed_request.h"
#include "service/installer_download.h"
#include "service/worker_processes.h"
#include "state/bounded_file.h"
#include "state/installer_backoff.h"
#include "state/installer_verification.h"
#include "state/machine_policy.h"
#include "state/registry_state.h"
#include "state/update_history.h"
#include "state/updater_status.h"

namespace ostrel {
namespace {

constexpr std::uint64_t PauseMilliseconds = 5000;
// What a start publishes over a status that still shows work no process
// does any more (its service or worker died, the machine lost power) when
// nothing usable is staged.
constexpr const char* UnfinishedUpdateMessage = "Update did not finish";

// The release whose verified installer lies in the working directory, as
// this cycle knows it. The three are set together and never cleared.
struct StagedRelease {
  std::string metadata;  // the exact bytes of its "release.json"; empty: nothing staged
  std::u16string version;
  std::u16string installerName;

  bool Exists() const { return !metadata.empty(); }
};

// A release whose installer a pass downloaded and verified into
// download.partial but could not commit whole, because someone held one of
// the names it commits to: its exact signed files, and how far the commit
// got. A later pass goes on from there without downloading it again. Only
// the updater's principals can change the files in between, and the worker
// verifies whatever it runs.
struct VerifiedDownload {
  std::string metadata;  // empty: none
  std::string signature;
  std::u16string version;
  std::u16string installerName;
  bool installerCommitted = false;  // moved to its own name; the metadata and signature may still be old

  bool Holds(const std::string& releaseMetadata) const {
    if (metadata.empty() || releaseMetadata != metadata) return false;
    std::uint32_t attributes = 0;
    return installerCommitted || !os::GetFileAttributes(PartialDownloadPath(), attributes);
  }
};

std::u16string DataPath(std::u16string_view name) { return JoinPath(UpdaterDataDirectory(), name); }

// Another updater process acts on the staged files: an apply worker holds
// the transaction lock, or one of the processes has just been started and
// has not taken it yet. The service leaves them alone from that moment on.
bool IsAnotherUpdaterAtWork(const ProcessList& processes) {
  return IsTransactionActive() || IsWorkerStarting(processes);
}

// The pause after a check: the milliseconds given, or until the browser has
// closed, whichever comes first. Any of the browser's processes that ends
// wakes it; while others still run (a tab's, another window's) it waits on
// for the rest of the pause, so the pace of checks stays the same. True
// when a stop ended it.
bool PauseWhileBrowserRuns(std::vector<os::Handle> browser, std::uint64_t milliseconds) {
  // The awake clock, in 100-nanosecond units, as the wait's own timeout counts.
  const std::uint64_t startedAt = os::QueryUnbiasedInterruptTime();
  std::uint64_t left = milliseconds;
  for (;;) {
    os::StopOrProcessEnd ended = os::StopOrProcessEnd::TimedOut;
    // A wait the system refuses still keeps the pace and hears the stop.
    if (os::WaitForStopEventOrProcessEnd(browser, static_cast<std::uint32_t>(left), ended)) {
      return os::WaitForStopEvent(static_cast<std::uint32_t>(left));
    }
    if (ended != os::StopOrProcessEnd::ProcessEnded) return ended == os::StopOrProcessEnd::Stopped;
    const std::uint64_t waited = (os::QueryUnbiasedInterruptTime() - startedAt) / 10'000;
    if (waited >= milliseconds) return false;
    left = milliseconds - waited;
    browser = OpenBrowserProcesses(ListProcesses(), os::MaximumWatchedProcesses);
    if (browser.empty()) return false;
  }
}

class UpdateCycle {
 public:
  // Every pass until the cycle ends; whatever way it ends but a hand-off,
  // the status it leaves is a settled one.
  void Run() {
    if (!FollowPolicy()) return;
    AdoptStagedRelease();
    try {
      RunPasses();
    } catch (...) {
      Settle(MessageOf(std::current_exception()).c_str());
      throw;
    }
  }

 private:
  void Publish(std::u16string_view state, std::u16string_view version, const char* message) {
    WriteStatus(state, version, message);
    workShown_ = state == StatusDownloading || state == StatusInstalling;
  }

  // What a failed attempt leaves: the staged release still waits, or the
  // failure stands.
  void PublishFailure(const char* message) {
    Publish(staged_.Exists() ? StatusReady : StatusError, staged_.version, message);
  }

  // Reads the machine policy the next steps follow: false when it turns
  // updates off, which ends the cycle before anything is checked.
  bool FollowPolicy() {
    policy_ = ReadMachinePolicy();
    if (!policy_.ignored.empty()) RecordNotice(policy_.ignored, "");
    if (!policy_.updatesEnabled) RecordHistory(HistoryRole::Service, UpdatesTurnedOffMessage);
    return policy_.updatesEnabled;
  }

  // Records what a pass finds in the history unless it is what the last
  // such record said: a check failing every five seconds for an hour, or a
  // release held back at every check, takes one line, not seven hundred.
  void RecordNotice(const std::string& event, std::string_view failure) {
    std::string notice = event + ": " + std::string(failure);
    if (notice == lastNotice_) return;
    RecordHistory(HistoryRole::Service, event, failure);
    lastNotice_ = std::move(notice);
  }

  // Replaces work the status shows with the truth, as the cycle ends
  // without doing it. A failure to publish does not hide the cycle's own.
  void Settle(const char* message) {
    if (!workShown_) return;
    try {
      PublishFailure(message);
    } catch (...) {
    }
  }

  // Takes up the release an earlier run staged, when its files are all
  // still protected, signed, intact and newer than the installed version.
  // Whatever else is wrong with the staged files, the feed is the remedy.
  void AdoptStagedRelease() {
    try {
      ReuseStagedRelease();
    } catch (...) {
      SettleAbandonedWork();
    }
  }

  // One no longer newer was installed by a worker that ended before it
  // could say so, leaving "installing" behind: the truth is published
  // instead.
  void ReuseStagedRelease() {
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
      Publish(StatusUpToDate, u"", "");
      return;
    }
    if (!policy_.Admits(release.version)) {
      Publish(StatusUpToDate, u"", policy_.HeldMessage().c_str());
      return;
    }
    staged_ = StagedRelease{std::move(metadata), ToUtf16(release.version), ToUtf16(release.file)};
    Publish(StatusReady, staged_.version, "");
  }

  // Nothing usable is staged, so a status that still says a release is on
  // its way or waiting was left by a process that ended before it could
  // say otherwise. An unreadable status stays as it is: the next check
  // replaces it.
  void SettleAbandonedWork() {
    try {
      const std::optional<JsonObject> published = ReadPublishedStatus();
      if (!published) return;
      const std::u16string state = published->GetNamedString(u"state", u"");
      if (state != StatusUpToDate && state != StatusError) Publish(StatusError, u"", UnfinishedUpdateMessage);
    } catch (...) {
    }
  }

  // Any user may start the service, so a second instance may start while
  // an apply worker is at work: each pass, and so each hand-off, first
  // makes sure none is. A pass lists the running processes once: the list
  // answers whether another updater is at work and whether the browser
  // runs, and the browser's processes it opens are those the pause waits on.
  void RunPasses() {
    while (!os::IsStopEventSet() && !IsUninstalling()) {
      const ProcessList processes = ListProcesses();
      if (IsAnotherUpdaterAtWork(processes) || !FollowPolicy()) return;
      std::vector<os::Handle> browser = OpenBrowserProcesses(processes, os::MaximumWatchedProcesses);
      if (browser.empty()) {
        HandOffStagedRelease(processes);
        return;
      }
      pause_ = PauseMilliseconds;
      if (!CheckAndPublishFailure()) return;
      if (PauseWhileBrowserRuns(std::move(browser), pause_)) return;
    }
  }

  // One check, its standard failures published. False when the cycle ends:
  // another updater took over, or a stop request caused the failure. A
  // server that asked for a pause gets it, up to an hour, before the next.
  bool CheckAndPublishFailure() {
    try {
      return CheckForUpdate();
    } catch (const std::exception& failure) {
      if (os::IsStopEventSet()) {
        Settle(failure.what());
        return false;
      }
      PublishFailure(failure.what());
      RecordNotice("Check failed", failure.what());
      if (const auto* retryLater = dynamic_cast<const RetryLaterFailure*>(&failure)) {
        pause_ = std::max(pause_, retryLater->WaitMilliseconds());
      }
    }
    return true;
  }

  // Stays quiet in the status but for the message: what was staged before
  // is the truth shown.
  void PublishNothingNewer(const char* message) {
    Publish(staged_.Exists() ? StatusReady : StatusUpToDate, staged_.version, message);
  }

  // False when another updater process has begun to act on the staged
  // files, to which the cycle then leaves them.
  bool CheckForUpdate() {
    std::string metadata = DownloadFeedFile(feed_, ReleaseMetadataName, ReleaseMetadataLimit);
    std::string signature = DownloadFeedFile(feed_, ReleaseSignatureName, ReleaseSignatureLimit);
    ReleaseMetadata release = VerifyReleaseMetadata(metadata, signature);
    if (!IsNewerThanInstalled(release.version)) {
      PublishNothingNewer("");
      return true;
    }
    if (!policy_.Admits(release.version)) {
      RecordNotice("Release " + release.version + " held back", policy_.HeldMessage());
      PublishNothingNewer(policy_.HeldMessage().c_str());
      return true;
    }
    if (metadata == staged_.metadata) return true;
    if (metadata != lastFound_) {
      RecordHistory(HistoryRole::Service, "Found release " + release.version);
      lastFound_ = metadata;
    }

    if (!downloaded_.Holds(metadata)) {
      if (const std::optional<std::string> failure = InstallerBackoffFailure(metadata)) {
        RecordNotice("Download of release " + release.version + " held back after a failed verification", *failure);
        PublishFailure(failure->c_str());
        return true;
      }
      downloaded_ = VerifiedDownload{};
      Publish(StatusDownloading, ToUtf16(release.version), "");
      DownloadVerifiedInstaller(feed_, release, metadata);
      downloaded_ = VerifiedDownload{metadata, signature, ToUtf16(release.version), ToUtf16(release.file)};
    }
    if (IsAnotherUpdaterAtWork(ListProcesses())) return false;
    CommitDownload();
    return true;
  }

  // Puts the verified download in place: the installer under its own name,
  // then the signed metadata and signature, each replaced whole while
  // readers may hold the old ones. A step that fails is raised, and the
  // next attempt goes on from the first step not done; only once all three
  // are in place is the download forgotten and the release staged.
  void CommitDownload() {
    if (!downloaded_.installerCommitted) {
      if (const os::Failure failure = RetryWhileInUse([&] {
            return os::MoveFileEx(PartialDownloadPath(), DataPath(downloaded_.installerName),
                                  os::MovefileReplaceExisting | os::MovefileWriteThrough);
          })) {
        RaiseLastError("Commit verified installer", *failure);
      }
      downloaded_.installerCommitted = true;
    }
    ReplaceProtectedFile(DataPath(ReleaseMetadataName), DataPath(ReleaseMetadataTemporaryName), downloaded_.metadata,
                         "Commit release metadata");
    ReplaceProtectedFile(DataPath(ReleaseSignatureName), DataPath(ReleaseSignatureTemporaryName),
                         downloaded_.signature, "Commit release signature");
    ForgetPartialDownload();
    if (!staged_.installerName.empty() && staged_.installerName != downloaded_.installerName) {
      // A leftover installer costs disk space, nothing else: it is never run
      // without its signed metadata.
      (void)os::DeleteFile(DataPath(staged_.installerName));
    }
    staged_ = StagedRelease{std::move(downloaded_.metadata), downloaded_.version, downloaded_.installerName};
    downloaded_ = VerifiedDownload{};
    Publish(StatusReady, staged_.version, "");
  }

  // Once the browser has closed. A commit a reader interrupted is finished
  // first: until then the files on disk are part old, part new.
  void HandOffStagedRelease(const ProcessList& processes) {
    if (downloaded_.installerCommitted) CommitDownload();
    if (!staged_.Exists()) return;
    // A process of the worker's image that is no longer starting holds no
    // lock, does nothing and would keep the new copy from being written.
    EndStaleWorkers(processes);
    const std::u16string worker = ApplyWorkerPath();
    // A reader of the previous copy is waited for.
    if (const os::Failure failure = RetryWhileInUse([&] { return os::CopyFile(OwnImagePath(), worker, false); })) {
      RaiseLastError("Prepare protected updater worker", *failure);
    }
    ValidateObjectAcl(worker);
    Publish(StatusInstalling, staged_.version, "");
    // The last moment a stop can keep the worker from starting: whatever the
    // stop made way for (a manual installation, a shutdown) comes first.
    if (os::IsStopEventSet()) {
      Settle("");
      return;
    }
    std::u16string arguments = u"--apply " + ToUtf16(std::to_string(os::GetCurrentProcessId()));
    StartUpdateProcess(worker, arguments, false);
    workShown_ = false;
    RecordHistory(HistoryRole::Service, "Handed release " + ToUtf8(staged_.version) + " to the worker");
  }

  // The one session and connection every request of the cycle travels on.
  FeedConnection feed_;
  StagedRelease staged_;
  VerifiedDownload downloaded_;
  // The pause before the next check.
  std::uint64_t pause_ = PauseMilliseconds;
  MachinePolicy policy_;
  // The exact metadata of the last release recorded as found, and the last
  // notice recorded (RecordNotice).
  std::string lastFound_;
  std::string lastNotice_;
  // The status shows work under way ("downloading", "installing") that this
  // cycle is doing.
  bool workShown_ = false;
};

}  // namespace

void RunUpdateCycle() {
  Require(IsLocalSystem(), "Updater service must run as SYSTEM");
  RequireFixedLocation();
  EnsureProtectedDirectory(UpdaterDataDirectory());
  RecordHistory(HistoryRole::Service, "Service started");
  if (IsAnotherUpdaterAtWork(ListProcesses())) return;
  UpdateCycle().Run();
}

}  // namespace ostrel
