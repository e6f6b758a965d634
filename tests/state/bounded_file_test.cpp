#include "state/bounded_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "fake_os/fake_machine.h"
#include "os/file.h"

namespace ostrel {
namespace {

using fake::Machine;

constexpr std::u16string_view Directory = u"C:\\ProgramData\\OstrelNativeUpdater";
constexpr std::u16string_view StatusPath = u"C:\\ProgramData\\OstrelNativeUpdater\\status.json";

class BoundedFileTest : public testing::Test {
 protected:
  BoundedFileTest() { Machine().fileSystem.AddDirectory(Directory); }

  // The content read, or the failure's message; the file is closed on
  // every path.
  std::string Read(std::uint64_t limit) {
    std::string outcome;
    try {
      outcome = ReadBoundedFile(StatusPath, limit);
    } catch (const std::runtime_error& failure) {
      outcome = failure.what();
    }
    EXPECT_TRUE(Machine().handles.open.empty()) << "file left open";
    return outcome;
  }
};

struct BoundedReadCase {
  const char* name;
  std::size_t size;
  std::uint64_t limit;
  const char* failure;  // "" when the whole file is read
};

class ReadBoundedFileTest : public BoundedFileTest, public testing::WithParamInterface<BoundedReadCase> {};

TEST_P(ReadBoundedFileTest, ReadsTheWholeFileWithinTheLimit) {
  std::string content(GetParam().size, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i);
  Machine().fileSystem.AddFile(StatusPath, content);
  EXPECT_EQ(Read(GetParam().limit), *GetParam().failure ? std::string(GetParam().failure) : content);
}

INSTANTIATE_TEST_SUITE_P(Files, ReadBoundedFileTest,
                         testing::Values(BoundedReadCase{"OneByte", 1, 512, ""},
                                         BoundedReadCase{"ExactlyTheLimit", 65536, 65536, ""},
                                         BoundedReadCase{"OneByteOverTheLimit", 65537, 65536, "Invalid metadata size"},
                                         BoundedReadCase{"SignatureOverItsLimit", 513, 512, "Invalid metadata size"},
                                         BoundedReadCase{"Empty", 0, 65536, "Invalid metadata size"}),
                         [](const auto& info) { return info.param.name; });

TEST_F(BoundedFileTest, AFileThatCannotBeSizedFailsInTheSizeQuery) {
  const struct {
    const char* name;
    void (*arrange)();
    int code;
  } cases[] = {
      {"Missing", [] {}, 2},
      {"DirectoryMissing", [] { Machine().fileSystem.files.erase(u"C:\\PROGRAMDATA\\OSTRELNATIVEUPDATER"); }, 3},
      {"ADirectory", [] { Machine().fileSystem.AddDirectory(StatusPath); }, 5},
  };
  for (const auto& scenario : cases) {
    fake::ResetMachine();
    Machine().fileSystem.AddDirectory(Directory);
    scenario.arrange();
    try {
      ReadBoundedFile(StatusPath, 65536);
      ADD_FAILURE() << scenario.name << ": nothing raised";
    } catch (const std::filesystem::filesystem_error& failure) {
      EXPECT_EQ(failure.code().value(), scenario.code) << scenario.name;
      EXPECT_EQ(failure.code().category(), std::system_category()) << scenario.name;
      EXPECT_EQ(failure.path1().u16string(), StatusPath) << scenario.name;
      EXPECT_NE(std::string(failure.what()).find("file_size"), std::string::npos) << failure.what();
    }
  }
}

TEST_F(BoundedFileTest, AFileHeldOpenWithoutReadSharingCannotBeRead) {
  Machine().fileSystem.AddFile(StatusPath, "{}");
  Machine().fileSystem.HoldOpen(StatusPath, os::GenericWrite, os::FileShareWrite);
  EXPECT_EQ(Read(65536), "Metadata read failed");
}

TEST_F(BoundedFileTest, AFileThatShrankAfterItsSizeWasTakenIsNotReadWhole) {
  Machine().fileSystem.AddFile(StatusPath, "{\"ok\":true}");
  Machine().fileSystem.beforeRead = [](fake::FakeFile& file) { file.contents.resize(4); };
  EXPECT_EQ(Read(65536), "Metadata read failed");
}

TEST_F(BoundedFileTest, BytesAddedAfterTheSizeWasTakenAreNotRead) {
  Machine().fileSystem.AddFile(StatusPath, "{\"ok\":true}");
  Machine().fileSystem.beforeRead = [](fake::FakeFile& file) { file.contents += "appended"; };
  EXPECT_EQ(Read(65536), "{\"ok\":true}");
}

TEST_F(BoundedFileTest, AReadErrorFailsTheRead) {
  Machine().fileSystem.AddFile(StatusPath, "{}");
  Machine().fileSystem.readFileResult = 23;
  EXPECT_EQ(Read(65536), "Metadata read failed");
}

}  // namespace
}  // namespace ostrel
