// Where the tests under Wine find the test child program (test_child.cpp).
#pragma once

#include <string>

namespace ostrel::test {

// "ostrel_test_child.exe" beside the running test program.
std::u16string TestChildPath();

}  // namespace ostrel::test
