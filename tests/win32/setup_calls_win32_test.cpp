// The calls of the setup commands under Wine: a service of the tests' own,
// never the updater's, created, configured, secured and deleted; a directory
// renamed by its handle. (The registration's removal in the 64-bit view is a
// contract test: tests/os/registry_contract_test.cpp.)
#include <gtest/gtest.h>

#include <string>

#include "os/file.h"
#include "os/file_system.h"
#include "os/security_descriptor.h"
#include "os/service_manager.h"
#include "os/win32/windows_api.h"

namespace ostrel::os {
namespace {

constexpr std::u16string_view Name = u"OstrelSetupTestService";
constexpr std::u16string_view Sddl = u"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x20034;;;BU)";

ServiceConfiguration Configuration(std::u16string_view command) {
  return {ServiceWin32OwnProcess, ServiceDemandStart, ServiceErrorNormal, std::u16string(command)};
}

// The service's descriptor as SDDL, owner and DACL only.
std::wstring SecurityOf(const ServiceHandle& service) {
  SC_HANDLE native = reinterpret_cast<SC_HANDLE>(service.value());
  DWORD needed = 0;
  ::QueryServiceObjectSecurity(native, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
  std::string buffer(needed, '\0');
  if (!::QueryServiceObjectSecurity(native, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, buffer.data(),
                                    needed, &needed)) {
    return L"<query failed " + std::to_wstring(::GetLastError()) + L">";
  }
  wchar_t* text = nullptr;
  ::ConvertSecurityDescriptorToStringSecurityDescriptorW(buffer.data(), SDDL_REVISION_1,
                                                         OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                                         &text, nullptr);
  std::wstring result = text == nullptr ? L"<conversion failed>" : text;
  ::LocalFree(text);
  return result;
}

TEST(SetupCallsTest, CreateReconfigureSecureAndDeleteAService) {
  ServiceHandle manager;
  ASSERT_EQ(OpenSCManager(ScManagerConnect | ScManagerCreateService, manager), std::nullopt);
  ServiceHandle service;
  ASSERT_EQ(CreateService(manager, Name, u"Ostrel setup test", ServiceAllAccess,
                          Configuration(u"\"C:\\ostrel-setup\\first.exe\" --service"), service),
            std::nullopt);
  ServiceHandle second;
  EXPECT_EQ(CreateService(manager, Name, u"Other", ServiceAllAccess, Configuration(u"x"), second), ErrorServiceExists);
  ServiceHandle existing;
  ASSERT_EQ(OpenService(manager, Name, ServiceAllAccess, existing), std::nullopt);
  EXPECT_EQ(ChangeServiceConfig(existing, Configuration(u"\"C:\\ostrel-setup\\second.exe\" --service")), std::nullopt);
  SecurityDescriptor descriptor;
  ASSERT_EQ(ConvertStringSecurityDescriptorToSecurityDescriptor(Sddl, SddlRevision1, descriptor), std::nullopt);
  EXPECT_EQ(SetServiceObjectSecurity(existing, OwnerSecurityInformation | DaclSecurityInformation, descriptor),
            std::nullopt);
  // Wine accepts the descriptor but reads back an empty "D:"; Windows gives the SDDL back.
  EXPECT_FALSE(SecurityOf(existing).starts_with(L"<")) << "the descriptor can be read back";
  ServiceStatus status;
  ASSERT_EQ(QueryServiceStatus(existing, status), std::nullopt);
  EXPECT_EQ(status.currentState, ServiceStopped);
  EXPECT_EQ(ControlService(existing, ServiceControlStop), ErrorServiceNotActive);
  EXPECT_EQ(DeleteService(existing), std::nullopt);
  EXPECT_EQ(DeleteService(service), ErrorServiceMarkedForDelete) << "still open, so only marked";
}

TEST(SetupCallsTest, RenamesADirectoryByItsHandle) {
  wchar_t temporary[MAX_PATH];
  ASSERT_NE(::GetTempPathW(MAX_PATH, temporary), 0u);
  std::u16string base(reinterpret_cast<const char16_t*>(temporary));
  std::u16string from = base + u"ostrel-setup-aside";
  std::u16string to = from + u".untrusted-1";
  ::RemoveDirectoryW(win32::WideString(to).c_str());
  ASSERT_TRUE(::CreateDirectoryW(win32::WideString(from).c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
  {
    Handle directory;
    ASSERT_EQ(CreateFile(from, Delete, FileShareRead | FileShareWrite | FileShareDelete, OpenExisting,
                         FileFlagBackupSemantics | FileFlagOpenReparsePoint, directory),
              std::nullopt);
    EXPECT_EQ(SetFileRenameInformation(directory, to, false), std::nullopt);
  }
  std::uint32_t attributes = 0;
  EXPECT_EQ(GetFileAttributes(to, attributes), std::nullopt);
  EXPECT_NE(GetFileAttributes(from, attributes), std::nullopt);
  ::RemoveDirectoryW(win32::WideString(to).c_str());
}

}  // namespace
}  // namespace ostrel::os
