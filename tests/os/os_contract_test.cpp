// Behaviour every implementation of the os/ boundary shares: these tests run
// natively against the fake machine and, cross-compiled, under Wine against
// the Windows API, so the fake cannot drift from the real thing.
#include <gtest/gtest.h>

#include <string>

#include "os/com.h"
#include "os/module.h"
#include "os/service_control.h"

namespace ostrel::os {
namespace {

TEST(ComContractTest, JoinsTheMultithreadedApartment) {
  EXPECT_GE(CoInitializeEx(CoinitMultithreaded), 0);
}

TEST(ModuleContractTest, NamesTheExecutableByItsFullDrivePath) {
  std::u16string path;
  ASSERT_EQ(GetModuleFileName(path), ErrorSuccess);
  ASSERT_GT(path.size(), 7u);
  EXPECT_EQ(path.substr(1, 2), u":\\");
  std::u16string extension = path.substr(path.size() - 4);
  for (char16_t& unit : extension) unit = unit >= u'A' && unit <= u'Z' ? unit + 32 : unit;
  EXPECT_EQ(extension, u".exe");
}

void UnusedServiceMain(std::uint32_t, char16_t**) {}

TEST(ServiceControlContractTest, RefusesADispatcherThatTheManagerDidNotStart) {
  EXPECT_EQ(StartServiceCtrlDispatcher(u"OstrelContractTest", UnusedServiceMain),
            ErrorFailedServiceControllerConnect);
}

}  // namespace
}  // namespace ostrel::os
