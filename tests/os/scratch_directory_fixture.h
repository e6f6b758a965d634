// The fixture of contract tests that work with files: a scratch directory of
// their own, owned by Administrators, with full control for LocalSystem and
// Administrators passed on to everything created in it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "os/file.h"
#include "os/file_system.h"
#include "os/scratch_directory.h"
#include "os/security_descriptor.h"

namespace ostrel::os {

class ScratchDirectoryTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ConvertStringSecurityDescriptorToSecurityDescriptor(u"O:BAG:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",
                                                                  SddlRevision1, descriptor),
              std::nullopt);
    ASSERT_EQ(CreateDirectory(scratch.path(), descriptor), std::nullopt);
  }

  // Creates the file, or empties the one there, and writes the bytes.
  static void Write(const std::u16string& path, std::string_view bytes) {
    Handle file;
    ASSERT_EQ(CreateFile(path, GenericWrite, 0, CreateAlways, FileAttributeNormal, file), std::nullopt);
    std::uint32_t count = 0;
    ASSERT_EQ(WriteFile(file, bytes, count), std::nullopt);
  }

  // The descriptor the directory was created with, for more like it.
  SecurityDescriptor descriptor;
  ScratchDirectory scratch;
};

}  // namespace ostrel::os
