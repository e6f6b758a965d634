#include "os/module.h"

#include <algorithm>

#include "fake_os/fake_machine.h"

namespace ostrel::os {

using fake::Machine;

Failure GetModuleFileName(std::span<char16_t> buffer, std::uint32_t& length) {
  length = 0;
  if (Machine().moduleFileNameResult) return Machine().moduleFileNameResult;
  const std::u16string& name = Machine().moduleFileName;
  // A name that does not fit is cut to the buffer, terminator included, and
  // the buffer's size is returned, as Windows does.
  bool fits = name.size() < buffer.size();
  std::size_t copied = fits ? name.size() : buffer.size() - 1;
  std::copy_n(name.begin(), copied, buffer.begin());
  buffer[copied] = u'\0';
  length = static_cast<std::uint32_t>(fits ? name.size() : buffer.size());
  return std::nullopt;
}

}  // namespace ostrel::os
