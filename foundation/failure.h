// How the updater fails: every step either succeeds or raises a failure that
// carries one short message naming the step. Failures are raised, never
// returned; the few places that catch them decide where the message ends.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "os/error_code.h"

namespace ostrel {

// A failing HRESULT of COM start-up, a known-folder query or the JSON layer.
// It deliberately stands outside std::exception: a handler written for
// standard failures must let it pass, and its code is never shown.
class hresult_error {
 public:
  explicit hresult_error(os::HResult code) noexcept : code_(code) {}
  os::HResult code() const noexcept { return code_; }

 private:
  os::HResult code_;
};

// The only words for a failure outside the standard hierarchy (an
// hresult_error, or anything else): its code means nothing to the reader.
inline constexpr const char* UnexplainedFailureMessage = "Native updater failed";

// The words a caught failure is reported with: a standard failure's own
// message, UnexplainedFailureMessage for anything else.
std::string MessageOf(const std::exception_ptr& failure);

// Raises std::runtime_error with the message when the condition is false.
void Require(bool condition, const char* message);

// Raises std::runtime_error "<context> (<code>)", the code being the thread's
// last error as the os layer read it on the line after the failing call,
// written as an unsigned 32-bit decimal.
[[noreturn]] void RaiseLastError(std::string_view context, os::ErrorCode lastError);

// Raises std::filesystem::filesystem_error for the file-system operation
// ("file_size", "exists") on the path, carrying the system's error code, as
// the standard library reports such a failure.
[[noreturn]] void RaiseFileSystemError(const char* operation, std::u16string_view path, os::ErrorCode error);

// Raises a failing HRESULT as hresult_error, except E_OUTOFMEMORY, which
// becomes the standard out-of-memory failure.
void RaiseIfFailed(os::HResult result);

}  // namespace ostrel
