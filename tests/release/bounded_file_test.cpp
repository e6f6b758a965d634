#include "release/bounded_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "temporary_directory.h"

namespace ostrel {
namespace {

struct BoundedReadCase {
  const char* name;
  std::size_t size;
  std::uint64_t limit;
  const char* failure;  // "" when the whole file is read
};

class ReadBoundedFileTest : public testing::TestWithParam<BoundedReadCase> {};

TEST_P(ReadBoundedFileTest, ReadsTheWholeFileWithinTheLimit) {
  test::TemporaryDirectory directory;
  std::string content(GetParam().size, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i);
  std::u16string path = directory.Write("status.json", content);
  try {
    EXPECT_EQ(ReadBoundedFile(path, GetParam().limit), content);
    EXPECT_STREQ("", GetParam().failure);
  } catch (const std::runtime_error& failure) {
    EXPECT_STREQ(failure.what(), GetParam().failure);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, ReadBoundedFileTest,
                         testing::Values(BoundedReadCase{"OneByte", 1, 512, ""},
                                         BoundedReadCase{"ExactlyTheLimit", 65536, 65536, ""},
                                         BoundedReadCase{"OneByteOverTheLimit", 65537, 65536, "Invalid metadata size"},
                                         BoundedReadCase{"SignatureOverItsLimit", 513, 512, "Invalid metadata size"},
                                         BoundedReadCase{"Empty", 0, 65536, "Invalid metadata size"}),
                         [](const auto& info) { return info.param.name; });

TEST(ReadBoundedFileTest, AMissingFileFailsInTheSizeQuery) {
  test::TemporaryDirectory directory;
  try {
    ReadBoundedFile(directory.Path("release.sig"), 512);
    FAIL() << "nothing raised";
  } catch (const std::filesystem::filesystem_error& failure) {
    EXPECT_EQ(failure.code(), std::errc::no_such_file_or_directory);
    EXPECT_EQ(failure.path1().u16string(), directory.Path("release.sig"));
  }
}

}  // namespace
}  // namespace ostrel
