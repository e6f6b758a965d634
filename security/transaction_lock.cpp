#include "security/transaction_lock.h"

#include <stdexcept>
#include <string>

#include "foundation/failure.h"
#include "foundation/path_join.h"
#include "locations/updater_locations.h"
#include "os/file.h"
#include "os/sleep.h"
#include "security/object_acl.h"

namespace ostrel {
namespace {

std::u16string TransactionLockPath() { return JoinPath(UpdaterDataDirectory(), TransactionLockName); }

}  // namespace

bool IsTransactionActive() {
  const std::u16string lockPath = TransactionLockPath();
  std::uint32_t attributes = 0;
  if (const os::Failure failure = os::GetFileAttributes(lockPath, attributes)) {
    if (failure == os::ErrorFileNotFound || failure == os::ErrorPathNotFound) return false;
    RaiseLastError("Inspect update transaction", *failure);
  }
  ValidateObjectAcl(UpdaterDataDirectory());
  Require((attributes & os::FileAttributeReparsePoint) == 0, "Update transaction reparse point rejected");

  os::Handle probe;
  const os::Failure failure =
      os::CreateFile(lockPath, os::GenericRead, os::FileShareRead | os::FileShareWrite | os::FileShareDelete,
                     os::OpenExisting, os::FileFlagOpenReparsePoint, probe);
  if (!failure) return false;
  if (failure == os::ErrorSharingViolation) return true;
  RaiseLastError("Inspect update transaction lock", *failure);
}

os::Handle AcquireTransactionLock(const TransactionLockPolicy& policy) {
  const std::u16string lockPath = TransactionLockPath();
  os::Failure failure;
  for (int attempt = 0; attempt < policy.attempts; ++attempt) {
    os::Handle lock;
    // Share mode 0 is the lock. A link at the name is opened as itself, so
    // nothing elsewhere is created or held.
    failure = os::CreateFile(lockPath, os::GenericRead | os::GenericWrite, 0, os::OpenAlways,
                             os::FileFlagOpenReparsePoint | os::FileAttributeNormal, lock);
    if (!failure) return lock;
    if (failure != os::ErrorSharingViolation) throw std::runtime_error(policy.failureMessage);
    os::Sleep(policy.pauseMilliseconds);
  }
  if (policy.busyCarriesCode) RaiseLastError(policy.busyMessage, *failure);
  throw std::runtime_error(policy.busyMessage);
}

}  // namespace ostrel
