#include "os/known_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel::os {
namespace {

TEST(KnownFolderContractTest, NamesTheMachineWideFolders) {
  std::u16string path;
  ASSERT_EQ(SHGetKnownFolderPath(FolderIdProgramFiles, KfFlagDefault, path), SOk);
  EXPECT_EQ(path, u"C:\\Program Files");
  ASSERT_EQ(SHGetKnownFolderPath(FolderIdProgramData, KfFlagDefault, path), SOk);
  EXPECT_EQ(path, u"C:\\ProgramData");
}

TEST(KnownFolderContractTest, RefusesAnUnknownFolder) {
  constexpr KnownFolderId unknown = {0x01234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}};
  std::u16string path = u"unchanged";
  EXPECT_LT(SHGetKnownFolderPath(unknown, KfFlagDefault, path), 0);
  EXPECT_EQ(path, u"unchanged");
}

}  // namespace
}  // namespace ostrel::os
