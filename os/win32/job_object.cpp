#include "os/job_object.h"

#include "os/win32/windows_api.h"

namespace ostrel::os {
namespace {

HANDLE Native(const Handle& handle) { return reinterpret_cast<HANDLE>(handle.value()); }

}  // namespace

Failure CreateJobObject(Handle& job) {
  HANDLE created = ::CreateJobObjectW(nullptr, nullptr);
  if (created == nullptr) return ::GetLastError();
  job = Handle(reinterpret_cast<std::uintptr_t>(created));
  return std::nullopt;
}

Failure SetInformationJobObject(const Handle& job, std::uint32_t limitFlags) {
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = limitFlags;
  return win32::FailureUnless(
      ::SetInformationJobObject(Native(job), JobObjectExtendedLimitInformation, &limits, sizeof limits));
}

Failure AssignProcessToJobObject(const Handle& job, const Handle& process) {
  return win32::FailureUnless(::AssignProcessToJobObject(Native(job), Native(process)));
}

Failure QueryInformationJobObject(const Handle& job, std::uint32_t& activeProcesses) {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
  if (!::QueryInformationJobObject(Native(job), JobObjectBasicAccountingInformation, &accounting, sizeof accounting,
                                   nullptr)) {
    return ::GetLastError();
  }
  activeProcesses = accounting.ActiveProcesses;
  return std::nullopt;
}

Failure TerminateJobObject(const Handle& job, std::uint32_t exitCode) {
  return win32::FailureUnless(::TerminateJobObject(Native(job), exitCode));
}

}  // namespace ostrel::os
