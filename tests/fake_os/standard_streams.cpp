#include "os/standard_streams.h"

#include <algorithm>

#include "fake_os/fake_machine.h"

namespace ostrel::os {

using fake::Machine;

void WriteStandardError(std::string_view bytes) { Machine().standardError.append(bytes); }

Failure ReadFileFromStandardInput(std::span<char> buffer, std::uint32_t& bytesRead) {
  fake::FakeMachine& machine = Machine();
  machine.standardInputReads.push_back(static_cast<std::uint32_t>(buffer.size()));
  if (machine.standardInput.empty()) return machine.endOfStandardInput;
  std::size_t count = std::min({buffer.size(), machine.standardInput.size(), machine.standardInputChunk});
  std::copy_n(machine.standardInput.begin(), count, buffer.begin());
  machine.standardInput.erase(0, count);
  bytesRead = static_cast<std::uint32_t>(count);
  return std::nullopt;
}

Failure WriteFileToStandardOutput(std::span<const char> bytes, std::uint32_t& bytesWritten) {
  fake::FakeMachine& machine = Machine();
  machine.standardOutputWrites.push_back(bytes.size());
  if (machine.standardOutputResult) return machine.standardOutputResult;
  std::size_t count = std::min<std::size_t>(bytes.size(), machine.standardOutputLimit.value_or(UINT32_MAX));
  machine.standardOutput.append(bytes.data(), count);
  bytesWritten = static_cast<std::uint32_t>(count);
  return std::nullopt;
}

}  // namespace ostrel::os
