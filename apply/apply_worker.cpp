#include "apply/apply_worker.h"

#include <exception>
#include <string>

#include "apply/installer_environment.h"
#include "apply/update_process.h"
#include "apply/working_directory_housekeeping.h"
#include "foundation/failure.h"
#include "foundation/path_comparison.h"
#include "foundation/path_join.h"
#include "foundation/text_conversion.h"
#include "inspect/browser_activity.h"
#include "inspect/process_list.h"
#include "locations/updater_locations.h"
#include "os/access_rights.h"
#include "os/file_system.h"
#include "os/process.h"
#include "os/service_manager.h"
#include "os/sleep.h"
#include "release/release_metadata.h"
#include "security/caller_identity.h"
#include "security/object_acl.h"
#include "security/own_image_path.h"
#include "security/protected_directory.h"
#include "security/transaction_lock.h"
#include "state/bounded_file.h"
#include "state/installer_verification.h"
#include "state/registry_state.h"
#include "state/update_history.h"
#include "state/updater_service.h"
#include "state/updater_status.h"

namespace ostrel {
namespace {

constexpr std::uint32_t ParentWaitMilliseconds = 30000;
constexpr int BrowserPolls = 30;
constexpr std::uint32_t BrowserPollMilliseconds = 1000;
constexpr std::u16string_view InstallerArguments = u"/S /NATIVEUPDATE";

void RequireWorkerLocation() {
  Require(SamePath(OwnImagePath(), ApplyWorkerPath()), "Invalid updater worker location");
}

// Whether the process is the updater running from its fixed place, created
// before this worker, as the service that started the worker is. A process
// id is reused once its process has ended, so the id alone names any
// process, even one started after the worker.
bool IsParentService(const os::Handle& process) {
  std::u16string image;
  std::uint64_t parentCreated = 0;
  std::uint64_t workerCreated = 0;
  return !os::QueryFullProcessImageName(process, 0, image) && SamePath(image, InstalledUpdaterPath()) &&
         !os::GetProcessTimes(process, parentCreated) && !os::GetCurrentProcessTimes(workerCreated) &&
         parentCreated < workerCreated;
}

// The service that started the worker must have ended before anything is
// installed. One that cannot be opened has ended already, and so has one
// whose id now names another process, which is not waited for. The handle
// is returned so it stays open until the worker ends.
os::Handle AwaitParentEnd(std::uint32_t parentProcessId) {
  os::Handle parent;
  if (os::OpenProcess(os::Synchronize | os::ProcessQueryLimitedInformation, false, parentProcessId, parent) ||
      !IsParentService(parent)) {
    return os::Handle();
  }
  // A failed wait proves nothing about the service either.
  std::uint32_t waited = os::WaitTimeout;
  Require(!os::WaitForSingleObject(parent, ParentWaitMilliseconds, waited) && waited == os::WaitObject0,
          "Updater service has not stopped");
  return parent;
}

// --prepare-install disables the service before the updater is replaced by
// hand, and a manual installation may follow at once: a worker handed off
// before that must not run its installer beside it.
void RequireServiceEnabled() {
  const UpdaterService updater = OpenUpdaterService(os::ServiceQueryConfig);
  std::uint32_t startType = 0;
  if (const os::Failure failure = os::QueryServiceConfig(updater.service, startType)) {
    RaiseLastError("Read native updater configuration", *failure);
  }
  Require(startType != os::ServiceDisabled, "Updater is being replaced; pending update canceled");
}

void AwaitBrowserClosed() {
  for (int polls = 0; polls < BrowserPolls && IsBrowserRunning(ListProcesses()) && !IsUninstalling(); ++polls) {
    os::Sleep(BrowserPollMilliseconds);
  }
  Require(!IsBrowserRunning(ListProcesses()) && !IsUninstalling(),
          "Browser is active or uninstall is in progress; update remains pending");
}

ReleaseMetadata ReadStagedRelease() {
  const std::u16string directory = UpdaterDataDirectory();
  std::string signature = ReadBoundedFile(JoinPath(directory, ReleaseSignatureName), ReleaseSignatureLimit);
  std::string metadata = ReadBoundedFile(JoinPath(directory, ReleaseMetadataName), ReleaseMetadataLimit);
  return VerifyReleaseMetadata(metadata, signature);
}

std::u16string InstallerPath(const ReleaseMetadata& release) {
  return JoinPath(UpdaterDataDirectory(), ToUtf16(release.file));
}

// The worker's environment with a temporary directory that only the
// updater's principals can write to, made ready and emptied for this run.
std::u16string PrepareInstallerEnvironment() {
  std::u16string temporaryDirectory = InstallerTemporaryDirectory();
  EnsureProtectedDirectory(temporaryDirectory);
  EmptyDirectory(temporaryDirectory);
  std::u16string environment;
  if (const os::Failure failure = os::GetEnvironmentStrings(environment)) {
    RaiseLastError("Read updater environment", *failure);
  }
  return WithTemporaryDirectory(environment, temporaryDirectory);
}

// Everything from the wait for the parent on, with the lock held.
void ApplyStagedRelease(std::uint32_t parentProcessId) {
  RequireServiceEnabled();
  os::Handle parent = AwaitParentEnd(parentProcessId);
  AwaitBrowserClosed();

  ReleaseMetadata release = ReadStagedRelease();
  RemoveOrphanedFiles(ToUtf16(release.file));
  if (!IsNewerThanInstalled(release.version)) {
    RecordHistory(HistoryRole::Worker, "Release " + release.version + " is already installed");
    WriteStatus(StatusUpToDate, u"", "");
    return;
  }

  std::u16string installer = InstallerPath(release);
  ValidateObjectAcl(installer);
  // From here until the installer has started nobody can write, replace or
  // delete it.
  os::Handle verifiedInstaller = OpenVerifiedInstaller(installer, release);
  std::u16string environment = PrepareInstallerEnvironment();
  Require(!IsUninstalling(), "Uninstall is in progress; pending update canceled");
  RequireServiceEnabled();
  RecordHistory(HistoryRole::Worker, "Installing release " + release.version);
  RunInstaller(installer, InstallerArguments, std::move(verifiedInstaller), environment);

  std::u16string version = ToUtf16(release.version);
  WriteRegistryString(os::RootKey::HkeyLocalMachine, UpdaterRegistryKey, u"Version", version);
  WriteStatus(StatusUpToDate, u"", "");
  RecordHistory(HistoryRole::Worker, "Installed release " + release.version);
  // A leftover installer does no harm: the next run removes it.
  (void)os::DeleteFile(installer);
}

// The version of the staged release when it could still be installed: its
// signed metadata verifies, it is newer than the installed version, and its
// installer is there and verifies. Empty otherwise, whatever the reason.
std::u16string UsableStagedVersion() {
  try {
    ReleaseMetadata release = ReadStagedRelease();
    if (!IsNewerThanInstalled(release.version)) return u"";
    const std::u16string installer = InstallerPath(release);
    ValidateObjectAcl(installer);
    VerifyInstaller(installer, release);
    return ToUtf16(release.version);
  } catch (...) {
    return u"";
  }
}

// Replaces the "installing" the service left with the truth: the release
// still waits ("ready") when it could be installed, else "error"; the
// failure's message either way.
void PublishFailure(const std::exception_ptr& failure) {
  try {
    const std::u16string version = UsableStagedVersion();
    WriteStatus(version.empty() ? StatusError : StatusReady, version, MessageOf(failure).c_str());
  } catch (...) {
    // The worker's own failure is the one it reports, not this one.
  }
}

}  // namespace

void RunApplyWorker(std::uint32_t parentProcessId) {
  Require(IsLocalSystem(), "Only SYSTEM may apply a native release");
  RequireWorkerLocation();
  EnsureProtectedDirectory(UpdaterDataDirectory());
  ValidateObjectAcl(OwnImagePath());
  os::Handle lock = AcquireTransactionLock(ApplyWorkerLockPolicy);
  RecordHistory(HistoryRole::Worker, "Worker started");
  // Only the holder of the lock may speak for the staged release.
  try {
    ApplyStagedRelease(parentProcessId);
  } catch (...) {
    PublishFailure(std::current_exception());
    RecordHistory(HistoryRole::Worker, "Worker ended", MessageOf(std::current_exception()));
    throw;
  }
  RecordHistory(HistoryRole::Worker, "Worker ended");
}

}  // namespace ostrel
