// The other process of the transaction lock test under Wine. One argument:
//   hold     takes the lock, prints "held" and keeps it until standard input ends;
//   probe    opens the lock as the transaction probe does and prints the error code;
//   acquire  takes the lock with the apply worker's policy and prints
//            "acquired" or the failure, then the milliseconds it took.
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string_view>

#include "foundation/path_join.h"
#include "locations/updater_locations.h"
#include "os/file.h"
#include "security/transaction_lock.h"

namespace {

using namespace ostrel;

int Hold() {
  os::Handle lock = AcquireTransactionLock(ApplyWorkerLockPolicy);
  std::printf("held\n");
  std::fflush(stdout);
  while (std::getchar() != EOF) {
  }
  return 0;
}

int Probe() {
  os::Handle probe;
  const os::Failure failure = os::CreateFile(JoinPath(UpdaterDataDirectory(), TransactionLockName), os::GenericRead,
                                             os::FileShareRead | os::FileShareWrite | os::FileShareDelete,
                                             os::OpenExisting, os::FileFlagOpenReparsePoint, probe);
  // 0 when the open succeeded.
  std::printf("%u\n", static_cast<unsigned>(failure.value_or(os::ErrorSuccess)));
  return 0;
}

int Acquire() {
  auto start = std::chrono::steady_clock::now();
  try {
    os::Handle lock = AcquireTransactionLock(ApplyWorkerLockPolicy);
    std::printf("acquired");
  } catch (const std::runtime_error& failure) {
    std::printf("%s", failure.what());
  }
  auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  std::printf(" after %lld ms\n", static_cast<long long>(elapsed.count()));
  return 0;
}

}  // namespace

int main(int argumentCount, char** arguments) {
  std::string_view mode = argumentCount == 2 ? arguments[1] : "";
  if (mode == "hold") return Hold();
  if (mode == "probe") return Probe();
  if (mode == "acquire") return Acquire();
  std::fprintf(stderr, "usage: transaction_lock_tool hold|probe|acquire\n");
  return 2;
}
