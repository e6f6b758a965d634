#include "os/standard_streams.h"

#include "fake_os/fake_machine.h"

namespace ostrel::os {

using fake::Machine;

void WriteStandardOutput(std::string_view bytes) { Machine().standardOutput.append(bytes); }

void WriteStandardError(std::string_view bytes) { Machine().standardError.append(bytes); }

}  // namespace ostrel::os
