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

}  // namespace ostrel::fake
