#include "os/module.h"

#include "fake_os/fake_machine.h"

namespace ostrel::os {

using fake::Machine;

ErrorCode GetModuleFileName(std::u16string& path) {
  path = Machine().moduleFileName;
  return ErrorSuccess;
}

}  // namespace ostrel::os
