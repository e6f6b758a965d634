#include "os/service_manager.h"

#include <gtest/gtest.h>

#include "os/test_service.h"

namespace ostrel::os {
namespace {

ServiceHandle ConnectedManager() {
  ServiceHandle manager;
  EXPECT_EQ(OpenSCManager(ScManagerConnect, manager), std::nullopt);
  EXPECT_NE(manager.value(), 0u);
  return manager;
}

TEST(ServiceManagerContractTest, DoesNotOpenAServiceThatDoesNotExist) {
  ServiceHandle manager = ConnectedManager();
  ServiceHandle service;
  EXPECT_EQ(OpenService(manager, u"OstrelContractTestMissing", ServiceQueryStatus | ServiceStart, service),
            ErrorServiceDoesNotExist);
  EXPECT_EQ(service.value(), 0u);
}

TEST(ServiceManagerContractTest, RefusesToStopAStoppedServiceAsNotActive) {
  TestService test;
  ServiceHandle manager = ConnectedManager();
  ServiceHandle service;
  // The manager matches names without regard to case.
  ASSERT_EQ(OpenService(manager, u"OSTRELCONTRACTTESTSERVICE", ServiceQueryStatus | ServiceStop, service),
            std::nullopt);
  EXPECT_EQ(ControlService(service, ServiceControlStop), ErrorServiceNotActive);
}

TEST(ServiceManagerContractTest, StartsAndStopsOnlyWithTheRightsAskedForAtOpening) {
  TestService test;
  ServiceHandle manager = ConnectedManager();
  ServiceHandle service;
  ASSERT_EQ(OpenService(manager, TestService::Name, ServiceQueryStatus, service), std::nullopt);
  EXPECT_EQ(StartService(service), ErrorAccessDenied);
  EXPECT_EQ(ControlService(service, ServiceControlStop), ErrorAccessDenied);
}

TEST(ServiceManagerContractTest, ADisabledServiceRefusesToStart) {
  TestService test;
  ServiceHandle manager = ConnectedManager();
  ServiceHandle service;
  ASSERT_EQ(OpenService(manager, TestService::Name, ServiceChangeConfig | ServiceStart, service), std::nullopt);
  ASSERT_EQ(ChangeServiceConfig(service, {ServiceNoChange, ServiceDisabled, ServiceNoChange, u""}), std::nullopt);
  EXPECT_EQ(StartService(service), ErrorServiceDisabled);
}

TEST(ServiceManagerContractTest, ReadsBackEachStartTypeSetWithTheRightToQueryOnly) {
  TestService test;
  ServiceHandle manager = ConnectedManager();
  ServiceHandle service;
  ASSERT_EQ(OpenService(manager, TestService::Name, ServiceChangeConfig | ServiceQueryConfig, service), std::nullopt);
  std::uint32_t startType = 0;
  ASSERT_EQ(QueryServiceConfig(service, startType), std::nullopt);
  EXPECT_EQ(startType, ServiceDemandStart);
  for (const std::uint32_t set : {ServiceDisabled, ServiceDemandStart}) {
    ASSERT_EQ(ChangeServiceConfig(service, {ServiceNoChange, set, ServiceNoChange, u""}), std::nullopt);
    ASSERT_EQ(QueryServiceConfig(service, startType), std::nullopt);
    EXPECT_EQ(startType, set);
  }

  ServiceHandle changeOnly;
  ASSERT_EQ(OpenService(manager, TestService::Name, ServiceChangeConfig, changeOnly), std::nullopt);
  EXPECT_EQ(QueryServiceConfig(changeOnly, startType), ErrorAccessDenied);
}

}  // namespace
}  // namespace ostrel::os
