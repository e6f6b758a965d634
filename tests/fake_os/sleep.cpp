#include "os/sleep.h"

#include "fake_os/fake_machine.h"

namespace ostrel::os {

void Sleep(std::uint32_t milliseconds) {
  fake::Machine().sleeps.push_back(milliseconds);
  fake::PassTime(milliseconds);
  if (fake::Machine().whileSleeping) fake::Machine().whileSleeping();
}

}  // namespace ostrel::os
