#include "fake_os/fake_machine.h"

namespace ostrel::fake {

std::u16string UsualServiceEnvironment() {
  using namespace std::string_literals;
  return u"=C:=C:\\Windows\\system32\0ComSpec=C:\\Windows\\system32\\cmd.exe\0Path=C:\\Windows\\system32;C:\\Windows\0"
         u"TEMP=C:\\Windows\\TEMP\0TMP=C:\\Windows\\TEMP\0windir=C:\\Windows\0\0"s;
}

FakeMachine& Machine() {
  static FakeMachine machine;
  return machine;
}

void PassTime(std::uint64_t milliseconds) {
  Machine().tickCount += milliseconds;
  Machine().processes.EndDue(Machine().tickCount);
}

void SleepMachine(std::uint64_t milliseconds) {
  Machine().asleepMilliseconds += milliseconds;
  PassTime(milliseconds);
}

std::uint64_t SystemFileTime() { return Machine().bootFileTime + Machine().tickCount * 10'000; }

void ResetMachine() { Machine() = FakeMachine(); }

}  // namespace ostrel::fake
