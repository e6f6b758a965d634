#include "os/tick_count.h"

#include "fake_os/fake_machine.h"

namespace ostrel::os {

// The fake clock moves on by one second at every reading.
std::uint64_t GetTickCount64() {
  fake::PassTime(1000);
  return fake::Machine().tickCount;
}

}  // namespace ostrel::os
