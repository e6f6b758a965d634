#include "fake_os/fake_machine.h"

namespace ostrel::fake {

FakeMachine& Machine() {
  static FakeMachine machine;
  return machine;
}

void ResetMachine() { Machine() = FakeMachine(); }

}  // namespace ostrel::fake
