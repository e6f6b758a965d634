#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "os/scratch_directory_fixture.h"

namespace ostrel::os {
namespace {

// A status file being published: a temporary beside the document it replaces.
class MoveFileContractTest : public ScratchDirectoryTest {
 protected:
  const std::u16string temporary = scratch.Child(u"status.tmp");
  const std::u16string published = scratch.Child(u"status.json");
  static constexpr std::uint32_t Replace = MovefileReplaceExisting | MovefileWriteThrough;
};

TEST_F(MoveFileContractTest, ReplacesTheDocumentWithWriteThrough) {
  Write(published, "previous");
  Write(temporary, "next");
  ASSERT_EQ(MoveFileEx(temporary, published, Replace), std::nullopt);
  std::uint32_t attributes = 0;
  EXPECT_EQ(GetFileAttributes(temporary, attributes), ErrorFileNotFound);
  ASSERT_EQ(GetFileAttributes(published, attributes), std::nullopt);
  EXPECT_EQ(attributes & FileAttributeDirectory, 0u);

  // The next publication finds no temporary and writes a new one.
  Write(temporary, "after");
  EXPECT_EQ(MoveFileEx(temporary, published, Replace), std::nullopt);
}

TEST_F(MoveFileContractTest, ReplacesNothingWithoutTheFlag) {
  Write(published, "previous");
  Write(temporary, "next");
  EXPECT_EQ(MoveFileEx(temporary, published, MovefileWriteThrough), ErrorAlreadyExists);
  std::uint32_t attributes = 0;
  EXPECT_EQ(GetFileAttributes(temporary, attributes), std::nullopt);
}

TEST_F(MoveFileContractTest, NeverReplacesADirectory) {
  ASSERT_EQ(CreateDirectory(published, descriptor), std::nullopt);
  Write(temporary, "next");
  EXPECT_EQ(MoveFileEx(temporary, published, Replace), ErrorAccessDenied);
  std::uint32_t attributes = 0;
  ASSERT_EQ(GetFileAttributes(published, attributes), std::nullopt);
  EXPECT_NE(attributes & FileAttributeDirectory, 0u);
}

TEST_F(MoveFileContractTest, TellsAMissingFileFromAMissingDirectory) {
  EXPECT_EQ(MoveFileEx(temporary, published, Replace), ErrorFileNotFound);
  Write(temporary, "next");
  EXPECT_EQ(MoveFileEx(temporary, scratch.Child(u"missing\\status.json"), Replace), ErrorPathNotFound);
}

}  // namespace
}  // namespace ostrel::os
