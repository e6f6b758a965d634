#include "os/com.h"

#include "fake_os/fake_machine.h"

namespace ostrel::os {

using fake::Machine;

HResult CoInitializeEx(std::uint32_t coInit) {
  Machine().coInitializeCalls.push_back(coInit);
  return Machine().coInitializeResult;
}

}  // namespace ostrel::os
