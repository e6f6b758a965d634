#include "os/security_descriptor.h"

#include "os/win32/sid_buffer.h"
#include "os/win32/windows_api.h"

namespace ostrel::os {

void LocalFree(std::uintptr_t memory) noexcept { ::LocalFree(reinterpret_cast<HLOCAL>(memory)); }

Failure GetNamedSecurityInfo(std::u16string_view path, std::uint32_t objectType, std::uint32_t securityInformation,
                             std::optional<Sid>& owner, std::optional<Acl>& dacl, SecurityDescriptor& descriptor) {
  PSID ownerSid = nullptr;
  PACL daclPointer = nullptr;
  PSECURITY_DESCRIPTOR raw = nullptr;
  std::wstring name = win32::WideString(path);
  DWORD result = ::GetNamedSecurityInfoW(name.c_str(), static_cast<SE_OBJECT_TYPE>(objectType), securityInformation,
                                         &ownerSid, nullptr, &daclPointer, nullptr, &raw);
  if (result != ERROR_SUCCESS) return win32::FailureOfStatus(result);
  descriptor = SecurityDescriptor(reinterpret_cast<std::uintptr_t>(raw));
  owner = ownerSid != nullptr ? std::optional<Sid>(win32::ReportedSid(ownerSid)) : std::nullopt;
  dacl = daclPointer != nullptr ? std::optional<Acl>(Acl{reinterpret_cast<std::uintptr_t>(daclPointer),
                                                         daclPointer->AceCount})
                                : std::nullopt;
  return std::nullopt;
}

Failure GetAce(const Acl& acl, std::uint32_t index, Ace& ace) {
  void* entry = nullptr;
  if (!::GetAce(reinterpret_cast<PACL>(acl.address), index, &entry)) return ::GetLastError();
  const auto* header = static_cast<const ACE_HEADER*>(entry);
  // Every ACE type places its access mask right after the header.
  const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
  ace.type = header->AceType;
  ace.flags = header->AceFlags;
  ace.mask = allowed->Mask;
  bool sidFollowsMask = header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE;
  ace.sid = sidFollowsMask ? win32::ReportedSid(const_cast<DWORD*>(&allowed->SidStart)) : Sid{};
  return std::nullopt;
}

Failure ConvertStringSecurityDescriptorToSecurityDescriptor(std::u16string_view sddl, std::uint32_t revision,
                                                            SecurityDescriptor& descriptor) {
  PSECURITY_DESCRIPTOR raw = nullptr;
  std::wstring text = win32::WideString(sddl);
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), revision, &raw, nullptr)) {
    return ::GetLastError();
  }
  descriptor = SecurityDescriptor(reinterpret_cast<std::uintptr_t>(raw));
  return std::nullopt;
}

}  // namespace ostrel::os
