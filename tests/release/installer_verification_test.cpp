#include "release/installer_verification.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>

#include "release/sha512_hash.h"
#include "temporary_directory.h"

namespace ostrel {
namespace {

// An installer of the given size whose bytes all differ from their
// neighbours' chunks, and the metadata that describes it.
std::string Installer(std::size_t size) {
  std::string content(size, '\0');
  for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 7 + i / 65536) & 0xFF);
  return content;
}

ReleaseMetadata Describing(std::string_view content) {
  Sha512Hash hash;
  hash.Update(content.data(), content.size());
  ReleaseMetadata release;
  release.version = "1.2.3";
  release.file = "Ostrel-Setup-1.2.3.exe";
  release.size = content.size();
  release.sha512 = hash.Finish();
  release.runtimeMatches = true;
  return release;
}

// "" when the installer verifies, otherwise the failure's message.
std::string Outcome(const std::function<void()>& verification) {
  try {
    verification();
  } catch (const std::exception& failure) {
    return failure.what();
  }
  return "";
}

class InstallerSizeTest : public testing::TestWithParam<std::size_t> {};

TEST_P(InstallerSizeTest, AcceptsTheDescribedFile) {
  test::TemporaryDirectory directory;
  std::string content = Installer(GetParam());
  EXPECT_EQ(Outcome([&] { VerifyInstaller(directory.Write("setup.exe", content), Describing(content)); }), "");
}

INSTANTIATE_TEST_SUITE_P(Sizes, InstallerSizeTest, testing::Values(1, 65535, 65536, 65537, 131072, 200000));

struct ChangedFileCase {
  const char* name;
  std::size_t describedSize;
  std::function<void(std::string&)> change;
  const char* failure;
};

class ChangedInstallerTest : public testing::TestWithParam<ChangedFileCase> {};

TEST_P(ChangedInstallerTest, RefusesAFileThatDiffersFromItsMetadata) {
  test::TemporaryDirectory directory;
  std::string content = Installer(GetParam().describedSize);
  ReleaseMetadata release = Describing(content);
  GetParam().change(content);
  EXPECT_EQ(Outcome([&] { VerifyInstaller(directory.Write("setup.exe", content), release); }), GetParam().failure);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ChangedInstallerTest,
    testing::Values(ChangedFileCase{"OneByteLonger", 65536, [](std::string& c) { c += 'x'; }, "Installer size mismatch"},
                    ChangedFileCase{"OneByteShorter", 65536, [](std::string& c) { c.pop_back(); },
                                    "Installer size mismatch"},
                    ChangedFileCase{"LastByteChanged", 131072, [](std::string& c) { c.back() ^= 1; },
                                    "Installer SHA-512 mismatch"},
                    ChangedFileCase{"FirstByteChanged", 1, [](std::string& c) { c.front() ^= 1; },
                                    "Installer SHA-512 mismatch"}),
    [](const auto& info) { return info.param.name; });

TEST(VerifyInstallerTest, AMissingFileFailsInTheSizeQuery) {
  test::TemporaryDirectory directory;
  try {
    VerifyInstaller(directory.Path("missing.exe"), Describing("x"));
    FAIL() << "nothing raised";
  } catch (const std::filesystem::filesystem_error& failure) {
    EXPECT_EQ(failure.code(), std::errc::no_such_file_or_directory);
    EXPECT_EQ(failure.path1().u16string(), directory.Path("missing.exe"));
  }
}

// A file that changes after its size was taken, as the reading loop sees it.
struct StreamCase {
  const char* name;
  std::size_t streamSize;
  const char* failure;
};

class ChangingStreamTest : public testing::TestWithParam<StreamCase> {};

TEST_P(ChangingStreamTest, EndsAtExactlyTheDescribedSize) {
  std::string described = Installer(131072);
  std::istringstream input(Installer(GetParam().streamSize));
  EXPECT_EQ(Outcome([&] { VerifyInstallerContent(input, Describing(described)); }), GetParam().failure);
}

INSTANTIATE_TEST_SUITE_P(Streams, ChangingStreamTest,
                         testing::Values(StreamCase{"Exact", 131072, ""},
                                         StreamCase{"GrewByOneByte", 131073, "Installer changed while reading"},
                                         StreamCase{"GrewByAChunk", 196608, "Installer changed while reading"},
                                         StreamCase{"ShrankByOneByte", 131071, "Installer read was incomplete"},
                                         StreamCase{"BecameEmpty", 0, "Installer read was incomplete"}),
                         [](const auto& info) { return info.param.name; });

// Serves one chunk, then fails as a disk read error would.
class FailingAfterOneChunk : public std::streambuf {
 public:
  explicit FailingAfterOneChunk(std::string& chunk) { setg(chunk.data(), chunk.data(), chunk.data() + chunk.size()); }

 protected:
  int_type underflow() override { throw std::ios_base::failure("read error"); }
};

TEST(VerifyInstallerContentTest, AReadErrorIsAnIncompleteRead) {
  std::string content = Installer(131072);
  std::string firstChunk = content.substr(0, 65536);
  FailingAfterOneChunk failing(firstChunk);
  std::istream input(&failing);
  EXPECT_EQ(Outcome([&] { VerifyInstallerContent(input, Describing(content)); }), "Installer read was incomplete");
}

}  // namespace
}  // namespace ostrel
