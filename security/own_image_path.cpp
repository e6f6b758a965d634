#include "security/own_image_path.h"

#include <cstdint>

#include "foundation/failure.h"
#include "os/module.h"

namespace ostrel {

std::u16string OwnImagePath() {
  // The longest path the system can hand out, terminator included; a result
  // this long was cut.
  constexpr std::uint32_t BufferUnits = 32768;
  std::u16string buffer(BufferUnits, u'\0');
  std::uint32_t length = 0;
  const os::Failure failure = os::GetModuleFileName(buffer, length);
  Require(!failure && length != 0 && length < BufferUnits, "Cannot identify updater image");
  buffer.resize(length);
  return buffer;
}

}  // namespace ostrel
