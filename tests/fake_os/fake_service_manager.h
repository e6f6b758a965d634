// The service control manager of the fake machine: services by name, each
// with its running state and its security, and the handles clients hold.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "fake_os/fake_identity.h"
#include "fake_os/fake_security.h"
#include "os/error_code.h"
#include "os/service_manager.h"

namespace ostrel::fake {

// Every right over a service (SERVICE_ALL_ACCESS).
inline constexpr std::uint32_t ServiceAllAccess = 0xF01FF;

// The service object's generic mapping: GENERIC_READ, _WRITE, _EXECUTE and
// _ALL replaced by the service rights they stand for.
std::uint32_t MapGenericServiceRights(std::uint32_t mask);

// What CreateServiceW gives a service when nobody sets its security: full
// control for LocalSystem and Administrators, reading for authenticated
// users, who may not start or stop it.
FakeSecurity CreatedServiceSecurity();

// The security setup gives the updater's service: full control for
// LocalSystem and Administrators; query, start, stop and read control for
// Users.
FakeSecurity InstalledServiceSecurity();

struct FakeService {
  enum class State { Stopped, Running };
  State state = State::Stopped;
  FakeSecurity security = InstalledServiceSecurity();
  std::u16string displayName = u"Ostrel test service";
  os::ServiceConfiguration configuration{os::ServiceWin32OwnProcess, os::ServiceDemandStart, os::ServiceErrorNormal,
                                         u"\"C:\\Old\\OstrelUpdate.exe\" --service"};
  // A stop request is accepted but the service goes on running.
  bool neverStops = false;
  // DeleteService was called: the service goes once no handle to it is open.
  bool markedForDeletion = false;
  // How often StartServiceW started it, and every control it was sent.
  int starts = 0;
  std::vector<std::uint32_t> controls;
};

struct FakeServiceManager {
  // Arranging: a service of that name, replacing any there.
  FakeService& AddService(std::u16string_view name, FakeService::State state = FakeService::State::Stopped);
  // The service of that name, or nullptr; names match regardless of case.
  FakeService* Find(std::u16string_view name);
  // The service goes, as when its deletion completes.
  void Remove(std::u16string_view name);

  // By name in capitals.
  std::map<std::u16string, FakeService> services;

  // Handles opened and not yet closed, by value: the manager's has no service
  // name.
  struct OpenHandle {
    std::u16string service;
    std::uint32_t access = 0;
  };
  std::map<std::uintptr_t, OpenHandle> openHandles;
  std::uintptr_t nextHandle = 0x2000;
  // What was closed, in order: "manager" or the service's name as opened.
  std::vector<std::u16string> closed;

  // Failures to inject, each returned by the call it names.
  os::Failure openManagerResult;
  os::Failure startServiceResult;
  os::Failure controlServiceResult;
  os::Failure createServiceResult;
  os::Failure changeServiceConfigResult;
  os::Failure setServiceObjectSecurityResult;
  os::Failure queryServiceStatusResult;
  os::Failure deleteServiceResult;
  // Applied to OpenServiceW before anything else, when set.
  os::Failure openServiceResult;
};

}  // namespace ostrel::fake
