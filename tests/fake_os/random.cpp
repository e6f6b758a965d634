#include "os/random.h"

#include "fake_os/fake_machine.h"

namespace ostrel::os {

Failure BCryptGenRandom(std::span<std::uint8_t> buffer) {
  fake::FakeMachine& machine = fake::Machine();
  if (machine.randomFailure) return machine.randomFailure;
  for (std::uint8_t& byte : buffer) byte = machine.nextRandomByte++;
  return std::nullopt;
}

}  // namespace ostrel::os
