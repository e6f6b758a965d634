#include "apply/apply_worker.h"

#include <string>

#include "apply/installer_environment.h"
#include "apply/update_process.h"
#include "foundation/failure.h"
#include "foundation/path_comparison.h"
#include "foundation/path_join.h"
#include "foundation/text_conversion.h"
#include "inspect/browser_activity.h"
#include "locations/updater_locations.h"
#include "os/access_rights.h"
#include "os/file_system.h"
#include "os/process.h"
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

// The service that started the worker must have ended before anything is
// installed; one that cannot be opened has ended already. The handle is
// returned so it stays open until the worker ends.
os::Handle AwaitParentEnd(std::uint32_t parentProcessId) {
  os::Handle parent;
  if (os::OpenProcess(os::Synchronize, false, parentProcessId, parent)) return parent;
  // A failed wait proves nothing about the service either.
  std::uint32_t waited = os::WaitTimeout;
  Require(!os::WaitForSingleObject(parent, ParentWaitMilliseconds, waited) && waited == os::WaitObject0,
          "Updater service has not stopped");
  return parent;
}

void AwaitBrowserClosed() {
  for (int polls = 0; polls < BrowserPolls && IsBrowserRunning() && !IsUninstalling(); ++polls) {
    os::Sleep(BrowserPollMilliseconds);
  }
  Require(!IsBrowserRunning() && !IsUninstalling(),
          "Browser is active or uninstall is in progress; update remains pending");
}

ReleaseMetadata ReadStagedRelease() {
  const std::u16string directory = UpdaterDataDirectory();
  std::string signature = ReadBoundedFile(JoinPath(directory, ReleaseSignatureName), ReleaseSignatureLimit);
  std::string metadata = ReadBoundedFile(JoinPath(directory, ReleaseMetadataName), ReleaseMetadataLimit);
  return VerifyReleaseMetadata(metadata, signature);
}

// The worker's environment with a temporary directory that only the
// updater's principals can write to, made ready for this run.
std::u16string PrepareInstallerEnvironment() {
  std::u16string temporaryDirectory = InstallerTemporaryDirectory();
  EnsureProtectedDirectory(temporaryDirectory);
  std::u16string environment;
  if (const os::Failure failure = os::GetEnvironmentStrings(environment)) {
    RaiseLastError("Read updater environment", *failure);
  }
  return WithTemporaryDirectory(environment, temporaryDirectory);
}

}  // namespace

void RunApplyWorker(std::uint32_t parentProcessId) {
  Require(IsLocalSystem(), "Only SYSTEM may apply a native release");
  RequireWorkerLocation();
  EnsureProtectedDirectory(UpdaterDataDirectory());
  ValidateObjectAcl(OwnImagePath());
  os::Handle lock = AcquireTransactionLock(ApplyWorkerLockPolicy);
  os::Handle parent = AwaitParentEnd(parentProcessId);
  AwaitBrowserClosed();

  ReleaseMetadata release = ReadStagedRelease();
  if (!IsNewerThanInstalled(release.version)) return;

  std::u16string installer = JoinPath(UpdaterDataDirectory(), ToUtf16(release.file));
  ValidateObjectAcl(installer);
  // From here until the installer has started nobody can write, replace or
  // delete it.
  os::Handle verifiedInstaller = OpenVerifiedInstaller(installer, release);
  std::u16string environment = PrepareInstallerEnvironment();
  Require(!IsUninstalling(), "Uninstall is in progress; pending update canceled");
  RunInstaller(installer, InstallerArguments, std::move(verifiedInstaller), environment);

  std::u16string version = ToUtf16(release.version);
  WriteRegistryString(os::RootKey::HkeyLocalMachine, UpdaterRegistryKey, u"Version", version);
  WriteStatus(StatusUpToDate, u"", "");
  // A leftover installer does no harm: the next release names its own.
  (void)os::DeleteFile(installer);
}

}  // namespace ostrel
