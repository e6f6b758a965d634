#include "os/file_system.h"

#include <gtest/gtest.h>

namespace ostrel::os {
namespace {

TEST(FileSystemContractTest, ReadsTheAttributesOfADirectory) {
  std::uint32_t attributes = 0;
  ASSERT_EQ(GetFileAttributes(u"C:\\ProgramData", attributes), std::nullopt);
  EXPECT_NE(attributes & FileAttributeDirectory, 0u);
  EXPECT_EQ(attributes & FileAttributeReparsePoint, 0u);
  ASSERT_EQ(GetFileAttributes(u"c:/programdata/", attributes), std::nullopt);
  EXPECT_NE(attributes & FileAttributeDirectory, 0u);
}

TEST(FileSystemContractTest, TellsAMissingObjectFromAMissingDirectory) {
  std::uint32_t attributes = 0;
  EXPECT_EQ(GetFileAttributes(u"C:\\ProgramData\\ostrel-missing", attributes), ErrorFileNotFound);
  EXPECT_EQ(GetFileAttributes(u"C:\\ProgramData\\ostrel-missing\\x", attributes), ErrorPathNotFound);
}

TEST(FileSystemContractTest, ResolvesDotsLexically) {
  std::uint32_t attributes = 0;
  ASSERT_EQ(GetFileAttributes(u"C:\\ProgramData\\.\\..\\ProgramData", attributes), std::nullopt);
  EXPECT_NE(attributes & FileAttributeDirectory, 0u);
  // The missing name is dropped by the "..", as Windows resolves it before looking.
  EXPECT_EQ(GetFileAttributes(u"C:\\ostrel-missing\\..\\ProgramData", attributes), std::nullopt);
}

}  // namespace
}  // namespace ostrel::os
