#include "apply/installer_environment.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {
namespace {

using namespace std::string_literals;

TEST(InstallerEnvironmentTest, PointsTempAndTmpAtTheDirectoryAndKeepsEverythingElse) {
  const struct {
    const char* name;
    std::u16string environment;
    std::u16string expected;
  } cases[] = {
      {"both set", u"=C:=C:\\\0Path=C:\\W\0TEMP=C:\\T\0TMP=C:\\T\0windir=C:\\W\0\0"s,
       u"=C:=C:\\\0Path=C:\\W\0TEMP=D:\\mine\0TMP=D:\\mine\0windir=C:\\W\0\0"s},
      {"names in other case keep their spelling", u"Temp=C:\\T\0tmp=C:\\T\0\0"s, u"Temp=D:\\mine\0tmp=D:\\mine\0\0"s},
      {"missing ones are added", u"Path=C:\\W\0\0"s, u"Path=C:\\W\0TEMP=D:\\mine\0TMP=D:\\mine\0\0"s},
      {"empty environment", u"\0"s, u"TEMP=D:\\mine\0TMP=D:\\mine\0\0"s},
      {"names that merely begin alike are kept", u"TEMPLATE=x\0TMPDIR=y\0=TEMP=z\0\0"s,
       u"TEMPLATE=x\0TMPDIR=y\0=TEMP=z\0TEMP=D:\\mine\0TMP=D:\\mine\0\0"s},
  };
  for (const auto& environment : cases) {
    EXPECT_EQ(WithTemporaryDirectory(environment.environment, u"D:\\mine"), environment.expected) << environment.name;
  }
}

}  // namespace
}  // namespace ostrel
