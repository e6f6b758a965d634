// A stopped service of the contract tests' own, never the updater's, for as
// long as the test runs. os/ has no call that creates a service, so under
// Windows it is created and deleted through the Windows API; on the fake
// machine it is simply added, with the security setup gives the updater's.
#pragma once

#include <gtest/gtest.h>

#include <string_view>

#include "os/service_manager.h"

#ifdef _WIN32
#include "os/win32/windows_api.h"
#else
#include "fake_os/fake_machine.h"
#endif

namespace ostrel::os {

class TestService {
 public:
  static constexpr std::u16string_view Name = u"OstrelContractTestService";

  TestService() {
#ifdef _WIN32
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    EXPECT_NE(manager, nullptr) << ::GetLastError();
    // Never started: the image need not exist.
    SC_HANDLE service = ::CreateServiceW(manager, win32::WideString(Name).c_str(), L"Ostrel contract test", DELETE,
                                         SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                         L"C:\\ostrel-contract\\never-started.exe", nullptr, nullptr, nullptr,
                                         nullptr, nullptr);
    EXPECT_NE(service, nullptr) << ::GetLastError();
    if (service != nullptr) ::CloseServiceHandle(service);
    ::CloseServiceHandle(manager);
#else
    // Created as under Windows, to start on demand.
    fake::Machine().services.AddService(Name).configuration.startType = ServiceDemandStart;
#endif
  }
  TestService(const TestService&) = delete;
  TestService& operator=(const TestService&) = delete;
  ~TestService() {
#ifdef _WIN32
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = ::OpenServiceW(manager, win32::WideString(Name).c_str(), DELETE);
    EXPECT_TRUE(::DeleteService(service)) << ::GetLastError();
    ::CloseServiceHandle(service);
    ::CloseServiceHandle(manager);
#endif
  }
};

}  // namespace ostrel::os
