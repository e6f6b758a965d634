#include "foundation/failure.h"

#include <new>
#include <stdexcept>
#include <string>

namespace ostrel {

void Require(bool condition, const char* message) {
  if (!condition) throw std::runtime_error(message);
}

void RaiseLastError(std::string_view context, os::ErrorCode lastError) {
  std::string message(context);
  message += " (";
  message += std::to_string(lastError);
  message += ')';
  throw std::runtime_error(message);
}

void RaiseIfFailed(os::HResult result) {
  if (result >= 0) return;
  if (result == os::EOutOfMemory) throw std::bad_alloc();
  throw hresult_error(result);
}

}  // namespace ostrel
