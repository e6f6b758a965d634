#include <gtest/gtest.h>

#include "feed/test_child.h"
#include "os/module.h"

namespace ostrel::test {

std::u16string TestChildPath() {
  std::u16string path(32768, u'\0');
  std::uint32_t length = 0;
  EXPECT_EQ(os::GetModuleFileName(path, length), std::nullopt);
  path.resize(length);
  return path.substr(0, path.rfind(u'\\') + 1) + u"ostrel_test_child.exe";
}

}  // namespace ostrel::test
