#include "setup/updater_installation.h"

#include "foundation/failure.h"
#include "foundation/text_conversion.h"
#include "locations/updater_locations.h"
#include "os/service_manager.h"
#include "release/release_version.h"
#include "security/caller_identity.h"
#include "security/fixed_location.h"
#include "security/own_image_path.h"
#include "security/protected_directory.h"
#include "setup/host_registration.h"
#include "setup/untrusted_directory.h"
#include "state/registry_state.h"
#include "state/updater_status.h"

namespace ostrel {
namespace {

constexpr std::u16string_view ServiceDisplayName = u"Ostrel sjálfvirkar uppfærslur";

// Owner Administrators; a protected DACL giving LocalSystem and
// Administrators everything, and Users query status, start, stop and read
// control: any user's browser may start and stop the updater, nobody else
// may reconfigure or delete it.
constexpr std::u16string_view ServiceSddl = u"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x20034;;;BU)";

void ConfigureService(const os::ServiceHandle& service, const os::ServiceConfiguration& configuration) {
  if (const os::Failure failure = os::ChangeServiceConfig(service, configuration)) {
    RaiseLastError("Configure updater service", *failure);
  }
  os::SecurityDescriptor descriptor;
  if (const os::Failure failure =
          os::ConvertStringSecurityDescriptorToSecurityDescriptor(ServiceSddl, os::SddlRevision1, descriptor)) {
    RaiseLastError("Build service ACL", *failure);
  }
  if (const os::Failure failure = os::SetServiceObjectSecurity(
          service, os::OwnerSecurityInformation | os::DaclSecurityInformation, descriptor)) {
    RaiseLastError("Secure updater service", *failure);
  }
}

// Creates the service, or opens it when it exists already (an earlier
// installation, or another installer that won the race).
void RegisterService(std::u16string_view executablePath) {
  os::ServiceHandle manager;
  if (const os::Failure failure = os::OpenSCManager(os::ScManagerConnect | os::ScManagerCreateService, manager)) {
    RaiseLastError("Open service manager", *failure);
  }
  os::ServiceConfiguration configuration{os::ServiceWin32OwnProcess, os::ServiceDemandStart, os::ServiceErrorNormal,
                                         u"\"" + std::u16string(executablePath) + u"\" --service"};
  os::ServiceHandle service;
  os::Failure failure =
      os::CreateService(manager, ServiceName, ServiceDisplayName, os::ServiceAllAccess, configuration, service);
  if (failure == os::ErrorServiceExists) failure = os::OpenService(manager, ServiceName, os::ServiceAllAccess, service);
  if (failure) RaiseLastError("Register updater service", *failure);
  ConfigureService(service, configuration);
}

}  // namespace

void InstallUpdater(std::u16string installedVersion) {
  RequireAdministrator("Installing the updater requires elevation");
  RequireFixedLocation();
  // Validated only: the text is stored as it was given.
  ParseReleaseVersion(ToUtf8(installedVersion));
  std::u16string dataDirectory = UpdaterDataDirectory();
  SetAsideUntrustedDirectory(dataDirectory);
  EnsureProtectedDirectory(dataDirectory);
  std::u16string executablePath = OwnImagePath();
  RegisterService(executablePath);
  RegisterNativeHost(executablePath);
  WriteRegistryString(os::RootKey::HkeyLocalMachine, UpdaterRegistryKey, u"Version", installedVersion);
  SetUninstalling(false);
  WriteStatus(StatusUpToDate, u"", "");
}

}  // namespace ostrel
