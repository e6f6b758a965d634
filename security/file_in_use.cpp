#include "security/file_in_use.h"

#include "os/sleep.h"

namespace ostrel {
namespace {

constexpr int Attempts = 100;
constexpr std::uint32_t PauseMilliseconds = 20;

bool IsInUse(const os::Failure& failure) {
  return failure == os::ErrorSharingViolation || failure == os::ErrorAccessDenied;
}

}  // namespace

os::Failure RetryWhileInUse(const std::function<os::Failure()>& attempt) {
  os::Failure failure = attempt();
  for (int retry = 1; retry < Attempts && IsInUse(failure); ++retry) {
    os::Sleep(PauseMilliseconds);
    failure = attempt();
  }
  return failure;
}

}  // namespace ostrel
