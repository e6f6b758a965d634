// The service manager calls under Wine against a service that really runs:
// the test child (feed/test_child.cpp) registered as a service of the tests'
// own, never the updater's.
#include "os/service_manager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "feed/test_child.h"
#include "os/win32/windows_api.h"

namespace ostrel::os {
namespace {

constexpr std::u16string_view Name = u"OstrelSystemTestService";

// Creates the service for the test and deletes it afterwards; os/ has no
// call that creates or deletes a service.
class RunnableServiceTest : public testing::Test {
 protected:
  void SetUp() override {
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    ASSERT_NE(manager, nullptr) << ::GetLastError();
    std::u16string command = u"\"" + test::TestChildPath() + u"\" service " + std::u16string(Name);
    SC_HANDLE service = ::CreateServiceW(manager, win32::WideString(Name).c_str(), L"Ostrel system test", DELETE,
                                         SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                         win32::WideString(command).c_str(), nullptr, nullptr, nullptr, nullptr,
                                         nullptr);
    DWORD error = ::GetLastError();
    ::CloseServiceHandle(manager);
    ASSERT_NE(service, nullptr) << error;
    ::CloseServiceHandle(service);
  }

  void TearDown() override {
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = ::OpenServiceW(manager, win32::WideString(Name).c_str(), SERVICE_STOP | DELETE);
    SERVICE_STATUS status{};
    ::ControlService(service, SERVICE_CONTROL_STOP, &status);
    EXPECT_TRUE(::DeleteService(service)) << ::GetLastError();
    ::CloseServiceHandle(service);
    ::CloseServiceHandle(manager);
  }

  static ServiceHandle Open(const ServiceHandle& manager, std::uint32_t access) {
    ServiceHandle service;
    EXPECT_EQ(OpenService(manager, Name, access, service), std::nullopt);
    return service;
  }

  // Waits, up to half a minute, until the manager reports the state.
  static bool ReachesState(const ServiceHandle& service, DWORD state) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    SERVICE_STATUS status{};
    while (::QueryServiceStatus(reinterpret_cast<SC_HANDLE>(service.value()), &status) &&
           status.dwCurrentState != state) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return status.dwCurrentState == state;
  }
};

TEST_F(RunnableServiceTest, StartsOnceThenRefusesAsAlreadyRunning) {
  ServiceHandle manager;
  ASSERT_EQ(OpenSCManager(ScManagerConnect, manager), std::nullopt);
  ServiceHandle service = Open(manager, ServiceQueryStatus | ServiceStart);
  ASSERT_EQ(StartService(service), std::nullopt);
  EXPECT_EQ(StartService(service), ErrorServiceAlreadyRunning);
  EXPECT_TRUE(ReachesState(service, SERVICE_RUNNING));
  EXPECT_EQ(StartService(service), ErrorServiceAlreadyRunning);
}

TEST_F(RunnableServiceTest, StopsOnceThenRefusesAsNotActive) {
  ServiceHandle manager;
  ASSERT_EQ(OpenSCManager(ScManagerConnect, manager), std::nullopt);
  ServiceHandle starter = Open(manager, ServiceQueryStatus | ServiceStart);
  ASSERT_EQ(StartService(starter), std::nullopt);
  ASSERT_TRUE(ReachesState(starter, SERVICE_RUNNING));
  ServiceHandle service = Open(manager, ServiceQueryStatus | ServiceStop);
  EXPECT_EQ(ControlService(service, ServiceControlStop), std::nullopt);
  EXPECT_TRUE(ReachesState(service, SERVICE_STOPPED));
  EXPECT_EQ(ControlService(service, ServiceControlStop), ErrorServiceNotActive);
}

}  // namespace
}  // namespace ostrel::os
