#include "foundation/failure.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

namespace ostrel {
namespace {

struct LastErrorCase {
  os::ErrorCode code;
  const char* message;
};

class RaiseLastErrorTest : public testing::TestWithParam<LastErrorCase> {};

TEST_P(RaiseLastErrorTest, AppendsTheCodeAsUnsignedDecimal) {
  try {
    RaiseLastError("Connect service dispatcher", GetParam().code);
    FAIL() << "nothing raised";
  } catch (const std::runtime_error& failure) {
    EXPECT_STREQ(failure.what(), GetParam().message);
  }
}

INSTANTIATE_TEST_SUITE_P(Codes, RaiseLastErrorTest,
                         testing::Values(LastErrorCase{0, "Connect service dispatcher (0)"},
                                         LastErrorCase{5, "Connect service dispatcher (5)"},
                                         LastErrorCase{1063, "Connect service dispatcher (1063)"},
                                         LastErrorCase{4294967295u, "Connect service dispatcher (4294967295)"}));

TEST(RequireTest, RaisesTheMessageOnlyWhenTheConditionIsFalse) {
  EXPECT_NO_THROW(Require(true, "Invalid updater parent"));
  try {
    Require(false, "Invalid updater parent");
    FAIL() << "nothing raised";
  } catch (const std::runtime_error& failure) {
    EXPECT_STREQ(failure.what(), "Invalid updater parent");
  }
}

TEST(RaiseIfFailedTest, PassesSuccessCodes) {
  EXPECT_NO_THROW(RaiseIfFailed(os::SOk));
  EXPECT_NO_THROW(RaiseIfFailed(1));  // S_FALSE: COM was already initialised
}

TEST(RaiseIfFailedTest, RaisesAFailureOutsideTheStandardHierarchy) {
  try {
    RaiseIfFailed(os::EFail);
    FAIL() << "nothing raised";
  } catch (const std::exception&) {
    FAIL() << "a standard failure handler caught it";
  } catch (const hresult_error& failure) {
    EXPECT_EQ(failure.code(), os::EFail);
  }
}

TEST(RaiseIfFailedTest, RaisesOutOfMemoryAsTheStandardFailure) {
  EXPECT_THROW(RaiseIfFailed(os::EOutOfMemory), std::bad_alloc);
}

}  // namespace
}  // namespace ostrel
