// The vocabulary of the OS boundary: Win32 error codes and HRESULTs keep
// their Windows values, so code on both sides reads like the Windows API.
#pragma once

#include <cstdint>
#include <optional>

namespace ostrel::os {

// A Win32 error code as GetLastError returns it; ErrorSuccess means none.
using ErrorCode = std::uint32_t;

// How a call that can fail ended: empty when it succeeded; when it failed,
// the code the system gave, which may be ErrorSuccess. Whether a call failed
// is what it returned, as its documentation defines failure, never its code.
using Failure = std::optional<ErrorCode>;
// A COM result: negative values are failures.
using HResult = std::int32_t;

inline constexpr ErrorCode ErrorSuccess = 0;
inline constexpr ErrorCode ErrorFileNotFound = 2;
inline constexpr ErrorCode ErrorPathNotFound = 3;
inline constexpr ErrorCode ErrorAccessDenied = 5;
inline constexpr ErrorCode ErrorInvalidHandle = 6;
inline constexpr ErrorCode ErrorNoMoreFiles = 18;
inline constexpr ErrorCode ErrorGenFailure = 31;
inline constexpr ErrorCode ErrorSharingViolation = 32;
inline constexpr ErrorCode ErrorBadNetpath = 53;
inline constexpr ErrorCode ErrorNetnameDeleted = 64;
inline constexpr ErrorCode ErrorFileExists = 80;
inline constexpr ErrorCode ErrorInvalidParameter = 87;
inline constexpr ErrorCode ErrorBrokenPipe = 109;
inline constexpr ErrorCode ErrorDiskFull = 112;
inline constexpr ErrorCode ErrorInvalidName = 123;
inline constexpr ErrorCode ErrorDirNotEmpty = 145;
inline constexpr ErrorCode ErrorBadPathname = 161;
inline constexpr ErrorCode ErrorAlreadyExists = 183;
inline constexpr ErrorCode ErrorDirectory = 267;
inline constexpr ErrorCode ErrorFailedServiceControllerConnect = 1063;

inline constexpr HResult SOk = 0;
inline constexpr HResult EOutOfMemory = static_cast<HResult>(0x8007000E);
inline constexpr HResult EFail = static_cast<HResult>(0x80004005);
inline constexpr HResult EInvalidArg = static_cast<HResult>(0x80070057);

}  // namespace ostrel::os
