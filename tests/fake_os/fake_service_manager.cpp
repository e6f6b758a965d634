#include "fake_os/fake_service_manager.h"

#include "os/access_rights.h"
#include "os/service_manager.h"

namespace ostrel::fake {
namespace {

std::u16string Key(std::u16string_view name) {
  std::u16string key(name);
  for (char16_t& unit : key) {
    if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - u'a' + u'A');
  }
  return key;
}

}  // namespace

std::uint32_t MapGenericServiceRights(std::uint32_t mask) {
  constexpr std::uint32_t queryConfig = 0x1, changeConfig = 0x2, enumerateDependents = 0x8, pauseContinue = 0x40,
                          interrogate = 0x80, userDefinedControl = 0x100;
  std::uint32_t mapped = mask & ~(os::GenericRead | os::GenericWrite | os::GenericExecute | os::GenericAll);
  if (mask & os::GenericRead) {
    mapped |= os::ReadControl | queryConfig | os::ServiceQueryStatus | interrogate | enumerateDependents;
  }
  if (mask & os::GenericWrite) mapped |= os::ReadControl | changeConfig;
  if (mask & os::GenericExecute) {
    mapped |= os::ReadControl | os::ServiceStart | os::ServiceStop | pauseContinue | userDefinedControl;
  }
  if (mask & os::GenericAll) mapped |= ServiceAllAccess;
  return mapped;
}

FakeSecurity CreatedServiceSecurity() {
  return {SidFromString(LocalSystemSid),
          std::vector<FakeAce>{Allowed(LocalSystemSid, ServiceAllAccess), Allowed(AdministratorsSid, ServiceAllAccess),
                               Allowed(AuthenticatedUsersSid, os::GenericRead)}};
}

FakeSecurity InstalledServiceSecurity() {
  return {SidFromString(AdministratorsSid),
          std::vector<FakeAce>{Allowed(LocalSystemSid, ServiceAllAccess), Allowed(AdministratorsSid, ServiceAllAccess),
                               Allowed(UsersSid, os::ServiceQueryStatus | os::ServiceStart | os::ServiceStop |
                                                     os::ReadControl)},
          true};
}

FakeService& FakeServiceManager::AddService(std::u16string_view name, FakeService::State state) {
  FakeService& service = services[Key(name)] = FakeService();
  service.state = state;
  return service;
}

FakeService* FakeServiceManager::Find(std::u16string_view name) {
  auto found = services.find(Key(name));
  return found == services.end() ? nullptr : &found->second;
}

void FakeServiceManager::Remove(std::u16string_view name) { services.erase(Key(name)); }

}  // namespace ostrel::fake
