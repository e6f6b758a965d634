#include "os/file_listing.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "os/scratch_directory_fixture.h"

namespace ostrel::os {
namespace {

class FileListingContractTest : public ScratchDirectoryTest {
 protected:
  // Every name the search lists, in capitals (the fake keeps no other
  // spelling; Windows keeps the one given), with its attributes.
  static std::map<std::u16string, std::uint32_t> List(const std::u16string& directory) {
    std::map<std::u16string, std::uint32_t> listed;
    FindHandle search;
    FindData entry;
    Failure failure = FindFirstFileEx(directory + u"\\*", search, entry);
    for (; !failure; failure = FindNextFile(search, entry)) {
      for (char16_t& unit : entry.fileName) unit = unit >= u'a' && unit <= u'z' ? unit - 32 : unit;
      listed[entry.fileName] = entry.attributes;
    }
    EXPECT_EQ(failure, ErrorNoMoreFiles);
    return listed;
  }
};

TEST_F(FileListingContractTest, ListsEveryNameWithItsAttributesAndTheDotsOfTheDirectory) {
  Write(scratch.Child(u"file.txt"), "x");
  ASSERT_EQ(CreateDirectory(scratch.Child(u"folder"), descriptor), std::nullopt);
  Write(scratch.Child(u"folder\\inner.txt"), "y");
  std::map<std::u16string, std::uint32_t> listed = List(scratch.path());
  ASSERT_EQ(listed.size(), 4u);
  EXPECT_NE(listed.at(u".") & FileAttributeDirectory, 0u);
  EXPECT_NE(listed.at(u"..") & FileAttributeDirectory, 0u);
  EXPECT_EQ(listed.at(u"FILE.TXT") & FileAttributeDirectory, 0u);
  EXPECT_NE(listed.at(u"FOLDER") & FileAttributeDirectory, 0u);
  EXPECT_EQ(listed.at(u"FOLDER") & FileAttributeReparsePoint, 0u);
}

TEST_F(FileListingContractTest, AMissingDirectoryIsNotFound) {
  FindHandle search;
  FindData entry;
  EXPECT_EQ(FindFirstFileEx(scratch.Child(u"missing\\*"), search, entry), ErrorPathNotFound);
  EXPECT_EQ(search.value(), 0u);
}

TEST_F(FileListingContractTest, RemovesOnlyAnEmptyDirectory) {
  ASSERT_EQ(CreateDirectory(scratch.Child(u"folder"), descriptor), std::nullopt);
  Write(scratch.Child(u"folder\\inner.txt"), "y");
  EXPECT_EQ(RemoveDirectory(scratch.Child(u"folder")), ErrorDirNotEmpty);
  EXPECT_EQ(RemoveDirectory(scratch.Child(u"folder\\inner.txt")), ErrorDirectory);
  ASSERT_EQ(DeleteFile(scratch.Child(u"folder\\inner.txt")), std::nullopt);
  EXPECT_EQ(RemoveDirectory(scratch.Child(u"folder")), std::nullopt);
  std::uint32_t attributes = 0;
  EXPECT_EQ(GetFileAttributes(scratch.Child(u"folder"), attributes), ErrorFileNotFound);
}

}  // namespace
}  // namespace ostrel::os
