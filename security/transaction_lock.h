// The one update transaction that may run at a time: "install.lock" in
// UpdaterDataDirectory, held open with share mode 0 by the apply worker while
// it installs and by the removal of the updater. The file has no content and
// stays after it is released; only an open without sharing means anything.
#pragma once

#include <cstdint>

#include "os/handle.h"

namespace ostrel {

// How long a caller waits for a held lock, and what it says when it gives up.
struct TransactionLockPolicy {
  int attempts;
  std::uint32_t pauseMilliseconds;
  // When every attempt met a sharing violation; the last code is appended
  // when busyCarriesCode.
  const char* busyMessage;
  bool busyCarriesCode;
  // When an attempt fails otherwise; no code.
  const char* failureMessage;
};

// The apply worker gives a running transaction about one second.
inline constexpr TransactionLockPolicy ApplyWorkerLockPolicy = {20, 50, "Another update transaction is active", true,
                                                                "Cannot open update transaction"};

// The removal of the updater waits up to twenty minutes for an installation
// to finish.
inline constexpr TransactionLockPolicy UninstallLockPolicy = {
    1200, 1000, "An update is still finishing; uninstall did not remove application files", false,
    "Cannot inspect pending update transaction"};

// Whether another process holds the lock. A missing lock (or data directory)
// is no transaction; otherwise the data directory must pass
// ValidateObjectAcl and the lock must not be a reparse point, and a
// fully-sharing open that meets a sharing violation means it is held. The
// probe holds its handle only for that instant, so an acquisition attempt
// racing with it meets a sharing violation too and retries.
bool IsTransactionActive();

// Opens (creating when missing) the lock with share mode 0 and returns the
// handle that holds it; the caller keeps it until done. A sharing violation
// is retried after the policy's pause, which also follows the last attempt.
// Callers ensure the protected data directory first.
os::Handle AcquireTransactionLock(const TransactionLockPolicy& policy);

}  // namespace ostrel
