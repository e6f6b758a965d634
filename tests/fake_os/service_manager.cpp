#include "os/service_manager.h"

#include "os/access_rights.h"

#include "fake_os/fake_machine.h"

namespace ostrel::os {
namespace {

using fake::FakeService;
using fake::FakeServiceManager;
using fake::Machine;

std::uintptr_t Open(std::u16string_view service, std::uint32_t access) {
  FakeServiceManager& manager = Machine().services;
  std::uintptr_t handle = manager.nextHandle;
  manager.nextHandle += 4;
  manager.openHandles[handle] = {std::u16string(service), access};
  return handle;
}

// The open handle to a service, when the value is one.
FakeServiceManager::OpenHandle* ServiceHandleOf(const ServiceHandle& handle) {
  auto open = Machine().services.openHandles.find(handle.value());
  if (open == Machine().services.openHandles.end() || open->second.service.empty()) return nullptr;
  return &open->second;
}

// Whether a handle to the service is still open.
bool StillOpen(std::u16string_view service) {
  FakeService* target = Machine().services.Find(service);
  for (const auto& [value, open] : Machine().services.openHandles) {
    if (!open.service.empty() && Machine().services.Find(open.service) == target) return true;
  }
  return false;
}

// The service an open handle refers to, when it has the access the call
// needs; the call's error otherwise.
Failure Target(const ServiceHandle& handle, std::uint32_t access, FakeService*& service) {
  FakeServiceManager::OpenHandle* open = ServiceHandleOf(handle);
  if (open == nullptr) return ErrorInvalidHandle;
  if ((open->access & access) != access) return ErrorAccessDenied;
  service = Machine().services.Find(open->service);
  return std::nullopt;
}

}  // namespace

void CloseServiceHandle(std::uintptr_t handle) noexcept {
  FakeServiceManager& manager = Machine().services;
  auto open = manager.openHandles.find(handle);
  if (open == manager.openHandles.end()) return;
  std::u16string service = open->second.service;
  manager.closed.push_back(service.empty() ? u"manager" : service);
  manager.openHandles.erase(open);
  if (service.empty() || !manager.Find(service)->markedForDeletion || StillOpen(service)) return;
  manager.Remove(service);
}

Failure OpenSCManager(std::uint32_t desiredAccess, ServiceHandle& manager) {
  // Every authenticated user may connect.
  if (const Failure result = Machine().services.openManagerResult) return result;
  manager = ServiceHandle(Open(u"", desiredAccess));
  return std::nullopt;
}

Failure OpenService(const ServiceHandle& manager, std::u16string_view serviceName, std::uint32_t desiredAccess,
                    ServiceHandle& service) {
  auto open = Machine().services.openHandles.find(manager.value());
  if (open == Machine().services.openHandles.end() || !open->second.service.empty()) return ErrorInvalidHandle;
  if (!(open->second.access & ScManagerConnect)) return ErrorAccessDenied;
  if (serviceName.empty()) return ErrorInvalidName;
  if (const Failure result = Machine().services.openServiceResult) return result;
  FakeService* found = Machine().services.Find(serviceName);
  if (found == nullptr) return ErrorServiceDoesNotExist;
  if (!fake::AccessGranted(found->security, Machine().identity, desiredAccess, fake::MapGenericServiceRights)) {
    return ErrorAccessDenied;
  }
  service = ServiceHandle(Open(serviceName, desiredAccess));
  return std::nullopt;
}

Failure StartService(const ServiceHandle& service) {
  FakeServiceManager::OpenHandle* open = ServiceHandleOf(service);
  if (open == nullptr) return ErrorInvalidHandle;
  if (!(open->access & ServiceStart)) return ErrorAccessDenied;
  if (const Failure result = Machine().services.startServiceResult) return result;
  FakeService& target = *Machine().services.Find(open->service);
  if (target.state == FakeService::State::Running) return ErrorServiceAlreadyRunning;
  if (target.configuration.startType == ServiceDisabled) return ErrorServiceDisabled;
  target.state = FakeService::State::Running;
  ++target.starts;
  return std::nullopt;
}

Failure ControlService(const ServiceHandle& service, std::uint32_t control) {
  FakeServiceManager::OpenHandle* open = ServiceHandleOf(service);
  if (open == nullptr) return ErrorInvalidHandle;
  if (control == ServiceControlStop && !(open->access & ServiceStop)) return ErrorAccessDenied;
  if (const Failure result = Machine().services.controlServiceResult) return result;
  FakeService& target = *Machine().services.Find(open->service);
  target.controls.push_back(control);
  if (target.state == FakeService::State::Stopped) return ErrorServiceNotActive;
  if (control == ServiceControlStop && !target.neverStops) target.state = FakeService::State::Stopped;
  return std::nullopt;
}

Failure CreateService(const ServiceHandle& manager, std::u16string_view serviceName, std::u16string_view displayName,
                      std::uint32_t desiredAccess, const ServiceConfiguration& configuration, ServiceHandle& service) {
  auto open = Machine().services.openHandles.find(manager.value());
  if (open == Machine().services.openHandles.end() || !open->second.service.empty()) return ErrorInvalidHandle;
  if (!(open->second.access & ScManagerCreateService)) return ErrorAccessDenied;
  if (const Failure result = Machine().services.createServiceResult) return result;
  if (FakeService* existing = Machine().services.Find(serviceName)) {
    return existing->markedForDeletion ? ErrorServiceMarkedForDelete : ErrorServiceExists;
  }
  FakeService& created = Machine().services.AddService(serviceName);
  created.security = fake::CreatedServiceSecurity();
  created.displayName = displayName;
  created.configuration = configuration;
  service = ServiceHandle(Open(serviceName, desiredAccess));
  return std::nullopt;
}

Failure ChangeServiceConfig(const ServiceHandle& service, const ServiceConfiguration& configuration) {
  FakeService* target = nullptr;
  if (const Failure result = Target(service, ServiceChangeConfig, target)) return result;
  if (const Failure result = Machine().services.changeServiceConfigResult) return result;
  if (target->markedForDeletion) return ErrorServiceMarkedForDelete;
  auto change = [](std::uint32_t& number, std::uint32_t given) {
    if (given != ServiceNoChange) number = given;
  };
  change(target->configuration.serviceType, configuration.serviceType);
  change(target->configuration.startType, configuration.startType);
  change(target->configuration.errorControl, configuration.errorControl);
  if (!configuration.binaryPathName.empty()) target->configuration.binaryPathName = configuration.binaryPathName;
  return std::nullopt;
}

Failure SetServiceObjectSecurity(const ServiceHandle& service, std::uint32_t securityInformation,
                                 const SecurityDescriptor& descriptor) {
  std::uint32_t access = ((securityInformation & OwnerSecurityInformation) ? WriteOwner : 0) |
                         ((securityInformation & DaclSecurityInformation) ? WriteDac : 0);
  FakeService* target = nullptr;
  if (const Failure result = Target(service, access, target)) return result;
  if (const Failure result = Machine().services.setServiceObjectSecurityResult) return result;
  auto given = Machine().fileSystem.descriptors.find(descriptor.value());
  if (given == Machine().fileSystem.descriptors.end()) return ErrorInvalidParameter;
  if (securityInformation & OwnerSecurityInformation) target->security.owner = given->second.owner;
  if (securityInformation & DaclSecurityInformation) {
    target->security.dacl = given->second.dacl;
    target->security.daclProtected = given->second.daclProtected;
  }
  return std::nullopt;
}

Failure QueryServiceConfig(const ServiceHandle& service, std::uint32_t& startType) {
  FakeService* target = nullptr;
  if (const Failure result = Target(service, ServiceQueryConfig, target)) return result;
  startType = target->configuration.startType;
  return std::nullopt;
}

Failure QueryServiceStatus(const ServiceHandle& service, ServiceStatus& status) {
  FakeService* target = nullptr;
  if (const Failure result = Target(service, ServiceQueryStatus, target)) return result;
  if (const Failure result = Machine().services.queryServiceStatusResult) return result;
  bool stopped = target->state == FakeService::State::Stopped;
  status = ServiceStatus{target->configuration.serviceType, stopped ? ServiceStopped : ServiceRunning,
                         stopped ? 0 : ServiceAcceptStop};
  return std::nullopt;
}

Failure DeleteService(const ServiceHandle& service) {
  FakeService* target = nullptr;
  if (const Failure result = Target(service, Delete, target)) return result;
  if (const Failure result = Machine().services.deleteServiceResult) return result;
  if (target->markedForDeletion) return ErrorServiceMarkedForDelete;
  target->markedForDeletion = true;
  return std::nullopt;
}

}  // namespace ostrel::os
