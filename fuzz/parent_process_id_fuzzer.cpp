// Feeds arbitrary UTF-16 text to the parser of the apply worker's parent id:
// it must return or raise one of its three failures, nothing else.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "native-update-service/parent_process_id.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string text(size / 2, u'\0');
  std::memcpy(text.data(), data, text.size() * 2);
  try {
    std::uint32_t id = ostrel::ParseParentProcessId(text);
    if (id == 0) __builtin_trap();
  } catch (const std::invalid_argument&) {
  } catch (const std::out_of_range&) {
  } catch (const std::runtime_error&) {
  }
  return 0;
}
