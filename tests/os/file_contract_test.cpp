#include "os/file.h"

#include <gtest/gtest.h>

#include <string_view>

#include "os/scratch_directory_fixture.h"

namespace ostrel::os {
namespace {

constexpr std::uint32_t ShareAll = FileShareRead | FileShareWrite | FileShareDelete;

class FileContractTest : public ScratchDirectoryTest {
 protected:
  const std::u16string file = scratch.Child(u"file.tmp");
};

TEST_F(FileContractTest, CreatesWritesAndFlushesAFile) {
  Handle written;
  ASSERT_EQ(CreateFile(file, GenericWrite, FileShareRead, CreateAlways,
                       FileFlagWriteThrough | FileFlagOpenReparsePoint | FileAttributeNormal, written),
            std::nullopt);
  FileInformation information;
  ASSERT_EQ(GetFileInformationByHandle(written, information), std::nullopt);
  EXPECT_EQ(information.attributes & (FileAttributeReparsePoint | FileAttributeDirectory), 0u);
  std::uint32_t count = 0;
  ASSERT_EQ(WriteFile(written, std::string_view("content"), count), std::nullopt);
  EXPECT_EQ(count, 7u);
  EXPECT_EQ(FlushFileBuffers(written), std::nullopt);

  // The writer lets others read, but nobody write.
  Handle reader;
  EXPECT_EQ(CreateFile(file, GenericRead, ShareAll, OpenExisting, FileFlagOpenReparsePoint, reader), std::nullopt);
  Handle writer;
  EXPECT_EQ(CreateFile(file, GenericWrite, ShareAll, OpenExisting, 0, writer), ErrorSharingViolation);
  EXPECT_EQ(WriteFile(reader, std::string_view("x"), count), ErrorAccessDenied);
}

// How the updater opens a file it writes: an existing file keeps its bytes
// until SetEndOfFile empties it where the fresh handle stands, at its start.
TEST_F(FileContractTest, OpenAlwaysKeepsTheContentUntilSetEndOfFileEmptiesIt) {
  Write(file, "earlier content");
  Handle written;
  ASSERT_EQ(CreateFile(file, GenericWrite, FileShareRead, OpenAlways,
                       FileFlagWriteThrough | FileFlagOpenReparsePoint | FileAttributeNormal, written),
            std::nullopt);
  FileInformation information;
  ASSERT_EQ(GetFileInformationByHandle(written, information), std::nullopt);
  EXPECT_EQ(information.numberOfLinks, 1u);
  std::uint64_t size = 0;
  ASSERT_EQ(GetFileSizeEx(written, size), std::nullopt);
  EXPECT_EQ(size, 15u);
  ASSERT_EQ(SetEndOfFile(written), std::nullopt);
  ASSERT_EQ(GetFileSizeEx(written, size), std::nullopt);
  EXPECT_EQ(size, 0u);
  std::uint32_t count = 0;
  ASSERT_EQ(WriteFile(written, std::string_view("new"), count), std::nullopt);
  ASSERT_EQ(GetFileSizeEx(written, size), std::nullopt);
  EXPECT_EQ(size, 3u);
}

TEST_F(FileContractTest, SetEndOfFileNeedsAHandleOpenedForWriting) {
  Write(file, "content");
  Handle reader;
  ASSERT_EQ(CreateFile(file, GenericRead, ShareAll, OpenExisting, FileAttributeNormal, reader), std::nullopt);
  // Windows answers ErrorAccessDenied; Wine answers ErrorInvalidParameter.
  EXPECT_NE(SetEndOfFile(reader), std::nullopt);
  std::uint64_t size = 0;
  ASSERT_EQ(GetFileSizeEx(reader, size), std::nullopt);
  EXPECT_EQ(size, 7u);
}

TEST_F(FileContractTest, AnOpenWithoutSharingExcludesEveryOtherOpen) {
  Handle lock;
  ASSERT_EQ(
      CreateFile(file, GenericRead | GenericWrite, 0, OpenAlways, FileFlagOpenReparsePoint | FileAttributeNormal, lock),
      std::nullopt);
  Handle probe;
  EXPECT_EQ(CreateFile(file, GenericRead, ShareAll, OpenExisting, FileFlagOpenReparsePoint, probe),
            ErrorSharingViolation);
  Handle second;
  EXPECT_EQ(CreateFile(file, GenericRead | GenericWrite, 0, OpenAlways, FileFlagOpenReparsePoint, second),
            ErrorSharingViolation);
  lock = Handle();
  EXPECT_EQ(CreateFile(file, GenericRead, ShareAll, OpenExisting, FileFlagOpenReparsePoint, probe), std::nullopt);
}

TEST_F(FileContractTest, ReportsWhatIsMissingOrNotAFile) {
  Handle file;
  EXPECT_EQ(CreateFile(scratch.Child(u"missing"), GenericRead, ShareAll, OpenExisting, 0, file), ErrorFileNotFound);
  EXPECT_EQ(CreateFile(scratch.Child(u"missing\\x"), GenericWrite, 0, CreateAlways, 0, file), ErrorPathNotFound);
  EXPECT_EQ(CreateFile(scratch.path(), GenericWrite, FileShareRead, CreateAlways, FileAttributeNormal, file),
            ErrorAccessDenied);
  EXPECT_EQ(file.value(), 0u);
}

}  // namespace
}  // namespace ostrel::os
