// How open handles meet moves, deletes, replacements and other opens: the
// rules the updater's staged files and its status file depend on.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "os/scratch_directory_fixture.h"

namespace ostrel::os {
namespace {

constexpr std::uint32_t ShareAll = FileShareRead | FileShareWrite | FileShareDelete;

class FileSharingContractTest : public ScratchDirectoryTest {
 protected:
  // The whole content of the file, or the code that stopped the read.
  static std::string Read(const std::u16string& path) {
    Handle file;
    if (const Failure failure = CreateFile(path, GenericRead, ShareAll, OpenExisting, FileAttributeNormal, file)) {
      return "error " + std::to_string(*failure);
    }
    return ReadRest(file);
  }

  static std::string ReadRest(const Handle& file) {
    std::string content;
    char buffer[7];
    for (std::uint32_t count = 1; count != 0;) {
      if (const Failure failure = ReadFile(file, buffer, count)) return "error " + std::to_string(*failure);
      content.append(buffer, count);
    }
    return content;
  }

  static Handle Open(const std::u16string& path, std::uint32_t access, std::uint32_t shareMode) {
    Handle file;
    EXPECT_EQ(CreateFile(path, access, shareMode, OpenExisting, FileAttributeNormal, file), std::nullopt);
    return file;
  }

  static Failure TryOpen(const std::u16string& path, std::uint32_t access, std::uint32_t shareMode) {
    Handle file;
    return CreateFile(path, access, shareMode, OpenExisting, FileAttributeNormal, file);
  }

  const std::u16string file = scratch.Child(u"download.partial");
  const std::u16string staged = scratch.Child(u"Ostrel-Setup-1.2.3.exe");
  static constexpr std::uint32_t Replace = MovefileReplaceExisting | MovefileWriteThrough;
};

TEST_F(FileSharingContractTest, ReadsTheSizeAndTheContentThroughAHandle) {
  Write(file, "installer bytes");
  Handle reader = Open(file, GenericRead, FileShareRead);
  std::uint64_t size = 0;
  ASSERT_EQ(GetFileSizeEx(reader, size), std::nullopt);
  EXPECT_EQ(size, 15u);
  EXPECT_EQ(ReadRest(reader), "installer bytes");
  FileInformation information;
  ASSERT_EQ(GetFileInformationByHandle(reader, information), std::nullopt);
  EXPECT_EQ(information.numberOfLinks, 1u);
  std::uint32_t count = 0;
  EXPECT_EQ(WriteFile(reader, std::string_view("x"), count), ErrorAccessDenied);
  Write(staged, "");
  Handle writer = Open(staged, GenericWrite, 0);
  char buffer[4];
  EXPECT_EQ(ReadFile(writer, buffer, count), ErrorAccessDenied);
}

TEST_F(FileSharingContractTest, AHandleFollowsItsFileThroughAMove) {
  Write(file, "first half,");
  Handle open = Open(file, GenericRead | GenericWrite, FileShareRead | FileShareDelete);
  ASSERT_EQ(MoveFileEx(file, staged, Replace), std::nullopt);
  std::uint32_t count = 0;
  EXPECT_EQ(ReadRest(open), "first half,");
  ASSERT_EQ(WriteFile(open, std::string_view(" second half"), count), std::nullopt);
  open = Handle();
  EXPECT_EQ(Read(staged), "first half, second half");
  EXPECT_EQ(Read(file), "error 2");
}

TEST_F(FileSharingContractTest, AFileOpenWithoutSharingDeleteIsNeitherMovedNorDeleted) {
  for (std::uint32_t shareMode : {0u, FileShareRead | FileShareWrite}) {
    Write(file, "held");
    Handle held = Open(file, GenericRead, shareMode);
    EXPECT_EQ(MoveFileEx(file, staged, Replace), ErrorSharingViolation) << shareMode;
    EXPECT_EQ(DeleteFile(file), ErrorSharingViolation) << shareMode;
    held = Handle();
    EXPECT_EQ(Read(file), "held");
    EXPECT_EQ(Read(staged), "error 2");
  }
}

// The name being replaced cannot go while the file is open, whatever the
// reader shares (Wine answers 5 in both cases, as Windows' classic rename does).
TEST_F(FileSharingContractTest, AReplacementTargetHeldOpenByAReaderStays) {
  for (std::uint32_t shareMode : {FileShareRead, ShareAll}) {
    Write(staged, "installed");
    Write(file, "next");
    Handle reader = Open(staged, GenericRead, shareMode);
    EXPECT_EQ(MoveFileEx(file, staged, Replace), ErrorAccessDenied) << shareMode;
    reader = Handle();
    EXPECT_EQ(Read(staged), "installed");
    EXPECT_EQ(Read(file), "next");
  }
}

// What a writer meets while a reader, sharing only reading, holds its
// target: the two codes the updater's writers wait out, and success as soon
// as the reader lets go.
TEST_F(FileSharingContractTest, AWriterMeetsAReaderWithTheCodesItWaitsOutAndSucceedsOnceItLetsGo) {
  const struct {
    const char* name;
    Failure (*write)(const std::u16string& source, const std::u16string& target);
    ErrorCode whileRead;
  } writers[] = {
      {"replacing", [](const std::u16string& source, const std::u16string& target) {
         return MoveFileEx(source, target, Replace);
       }, ErrorAccessDenied},
      {"copying over", [](const std::u16string& source, const std::u16string& target) {
         return CopyFile(source, target, false);
       }, ErrorSharingViolation},
      {"opening to write", [](const std::u16string&, const std::u16string& target) {
         Handle file;
         return CreateFile(target, GenericWrite, FileShareRead, OpenAlways, FileAttributeNormal, file);
       }, ErrorSharingViolation},
  };
  for (const auto& writer : writers) {
    Write(staged, "installed");
    Write(file, "next");
    Handle reader = Open(staged, GenericRead, FileShareRead);
    EXPECT_EQ(writer.write(file, staged), writer.whileRead) << writer.name;
    reader = Handle();
    EXPECT_EQ(writer.write(file, staged), std::nullopt) << writer.name;
  }
}

TEST_F(FileSharingContractTest, ADeletedFileStaysReadableThroughAnOpenThatSharesDeleting) {
  Write(file, "still here");
  Handle open = Open(file, GenericRead, ShareAll);
  ASSERT_EQ(DeleteFile(file), std::nullopt);
  EXPECT_EQ(ReadRest(open), "still here");
}

TEST_F(FileSharingContractTest, DeletesFilesButNotDirectoriesOrWhatIsMissing) {
  Write(file, "x");
  EXPECT_EQ(DeleteFile(file), std::nullopt);
  EXPECT_EQ(DeleteFile(file), ErrorFileNotFound);
  EXPECT_EQ(DeleteFile(scratch.Child(u"missing\\x")), ErrorPathNotFound);
  EXPECT_EQ(DeleteFile(scratch.path()), ErrorAccessDenied);
}

TEST_F(FileSharingContractTest, ExecutingCountsAsReadingForSharing) {
  Write(file, "x");
  Handle writer = Open(file, GenericWrite, FileShareWrite);
  EXPECT_EQ(TryOpen(file, GenericExecute, ShareAll), ErrorSharingViolation);
  EXPECT_EQ(TryOpen(file, FileExecute, ShareAll), ErrorSharingViolation);
  writer = Handle();
  Handle runner = Open(file, GenericExecute, FileShareRead);
  EXPECT_EQ(TryOpen(file, GenericRead | GenericWrite, ShareAll), ErrorSharingViolation);
  EXPECT_EQ(TryOpen(file, GenericRead, FileShareWrite), ErrorSharingViolation) << "this open shares no reading";
  EXPECT_EQ(TryOpen(file, GenericRead, FileShareRead), std::nullopt);
}

TEST_F(FileSharingContractTest, AnOpenWithoutDataAccessNeitherMeetsNorSetsAShareMode) {
  Write(file, "x");
  Handle lock = Open(file, GenericRead | GenericWrite, 0);
  constexpr std::uint32_t NoData = FileReadAttributes | Synchronize | ReadControl;
  Handle attributes = Open(file, NoData, 0);
  EXPECT_NE(attributes.value(), 0u);
  lock = Handle();
  EXPECT_EQ(TryOpen(file, GenericRead | GenericWrite, 0), std::nullopt) << "the attribute reader holds no share mode";
}

}  // namespace
}  // namespace ostrel::os
