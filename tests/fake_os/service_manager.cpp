#include "os/service_manager.h"

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

}  // namespace

void CloseServiceHandle(std::uintptr_t handle) noexcept {
  FakeServiceManager& manager = Machine().services;
  auto open = manager.openHandles.find(handle);
  if (open == manager.openHandles.end()) return;
  manager.closed.push_back(open->second.service.empty() ? u"manager" : open->second.service);
  manager.openHandles.erase(open);
}

ErrorCode OpenSCManager(std::uint32_t desiredAccess, ServiceHandle& manager) {
  // Every authenticated user may connect.
  if (ErrorCode result = Machine().services.openManagerResult) return result;
  manager = ServiceHandle(Open(u"", desiredAccess));
  return ErrorSuccess;
}

ErrorCode OpenService(const ServiceHandle& manager, std::u16string_view serviceName, std::uint32_t desiredAccess,
                      ServiceHandle& service) {
  auto open = Machine().services.openHandles.find(manager.value());
  if (open == Machine().services.openHandles.end() || !open->second.service.empty()) return ErrorInvalidHandle;
  if (!(open->second.access & ScManagerConnect)) return ErrorAccessDenied;
  if (serviceName.empty()) return ErrorInvalidName;
  FakeService* found = Machine().services.Find(serviceName);
  if (found == nullptr) return ErrorServiceDoesNotExist;
  if (!fake::AccessGranted(found->security, Machine().identity, desiredAccess)) return ErrorAccessDenied;
  service = ServiceHandle(Open(serviceName, desiredAccess));
  return ErrorSuccess;
}

ErrorCode StartService(const ServiceHandle& service) {
  FakeServiceManager::OpenHandle* open = ServiceHandleOf(service);
  if (open == nullptr) return ErrorInvalidHandle;
  if (!(open->access & ServiceStart)) return ErrorAccessDenied;
  if (ErrorCode result = Machine().services.startServiceResult) return result;
  FakeService& target = *Machine().services.Find(open->service);
  if (target.state == FakeService::State::Running) return ErrorServiceAlreadyRunning;
  target.state = FakeService::State::Running;
  ++target.starts;
  return ErrorSuccess;
}

ErrorCode ControlService(const ServiceHandle& service, std::uint32_t control) {
  FakeServiceManager::OpenHandle* open = ServiceHandleOf(service);
  if (open == nullptr) return ErrorInvalidHandle;
  if (control == ServiceControlStop && !(open->access & ServiceStop)) return ErrorAccessDenied;
  if (ErrorCode result = Machine().services.controlServiceResult) return result;
  FakeService& target = *Machine().services.Find(open->service);
  target.controls.push_back(control);
  if (target.state == FakeService::State::Stopped) return ErrorServiceNotActive;
  if (control == ServiceControlStop) target.state = FakeService::State::Stopped;
  return ErrorSuccess;
}

}  // namespace ostrel::os
