// The main of native test programs: every test starts on a freshly booted
// fake machine.
#include <gtest/gtest.h>

#include "fake_os/fake_machine.h"

namespace {

class ResetMachineBeforeEachTest : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo&) override { ostrel::fake::ResetMachine(); }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new ResetMachineBeforeEachTest);
  return RUN_ALL_TESTS();
}
