#include "os/tick_count.h"

#include "fake_os/fake_machine.h"

namespace ostrel::os {

// The fake clock moves on by one second at every reading of the time since
// boot, awake or not.
std::uint64_t GetTickCount64() {
  fake::PassTime(1000);
  return fake::Machine().tickCount;
}

std::uint64_t QueryUnbiasedInterruptTime() {
  fake::PassTime(1000);
  return (fake::Machine().tickCount - fake::Machine().asleepMilliseconds) * 10'000;
}

std::uint64_t GetSystemTimeAsFileTime() { return fake::SystemFileTime(); }

}  // namespace ostrel::os
