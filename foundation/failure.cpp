#include "foundation/failure.h"

#include <filesystem>
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

void RaiseFileSystemError(const char* operation, std::u16string_view path, os::ErrorCode error) {
  throw std::filesystem::filesystem_error(operation, std::filesystem::path(std::u16string(path)),
                                          std::error_code(static_cast<int>(error), std::system_category()));
}

void RaiseIfFailed(os::HResult result) {
  if (result >= 0) return;
  if (result == os::EOutOfMemory) throw std::bad_alloc();
  throw hresult_error(result);
}

std::string MessageOf(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& standard) {
    return standard.what();
  } catch (...) {
    return UnexplainedFailureMessage;
  }
}

}  // namespace ostrel
