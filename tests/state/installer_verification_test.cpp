#include "state/installer_verification.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "fake_os/fake_machine.h"
#include "os/file.h"
#include "release/sha512_hash.h"

namespace ostrel {
namespace {

using fake::Machine;

constexpr std::u16string_view InstallerPath = u"C:\\ProgramData\\OstrelNativeUpdater\\Ostrel-Setup-1.2.3.exe";

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

// "" when the installer verifies, otherwise the failure's message. The file
// is closed on every path.
std::string Outcome(const std::function<void()>& verification) {
  std::string message;
  try {
    verification();
  } catch (const std::exception& failure) {
    message = failure.what();
  }
  EXPECT_TRUE(Machine().handles.open.empty()) << "installer left open";
  return message;
}

std::u16string Staged(std::string content) {
  Machine().fileSystem.AddDirectory(u"C:\\ProgramData\\OstrelNativeUpdater");
  Machine().fileSystem.AddFile(InstallerPath, std::move(content));
  return std::u16string(InstallerPath);
}

class InstallerSizeTest : public testing::TestWithParam<std::size_t> {};

TEST_P(InstallerSizeTest, AcceptsTheDescribedFile) {
  std::string content = Installer(GetParam());
  EXPECT_EQ(Outcome([&] { VerifyInstaller(Staged(content), Describing(content)); }), "");
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
  std::string content = Installer(GetParam().describedSize);
  ReleaseMetadata release = Describing(content);
  GetParam().change(content);
  EXPECT_EQ(Outcome([&] { VerifyInstaller(Staged(content), release); }), GetParam().failure);
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

// The digest is what ties the installer that runs to what was signed: the
// signed digest changed in any one byte, the file's bytes unchanged, refuses
// the file just as surely as a changed file.
class ChangedDigestTest : public testing::TestWithParam<std::size_t> {};

TEST_P(ChangedDigestTest, RefusesAFileWhoseSignedDigestDiffersInOneByte) {
  std::string content = Installer(65537);
  ReleaseMetadata release = Describing(content);
  release.sha512[GetParam()] ^= 0x80;
  EXPECT_EQ(Outcome([&] { VerifyInstaller(Staged(content), release); }), "Installer SHA-512 mismatch");
}

INSTANTIATE_TEST_SUITE_P(DigestBytes, ChangedDigestTest, testing::Values(0, 1, 31, 32, 62, 63));

TEST(VerifyInstallerTest, AMissingFileFailsInTheSizeQuery) {
  Machine().fileSystem.AddDirectory(u"C:\\ProgramData\\OstrelNativeUpdater");
  try {
    VerifyInstaller(InstallerPath, Describing("x"));
    FAIL() << "nothing raised";
  } catch (const std::filesystem::filesystem_error& failure) {
    EXPECT_EQ(failure.code().value(), 2);
    EXPECT_EQ(failure.path1().u16string(), InstallerPath);
  }
}

TEST(VerifyInstallerTest, TheSizeIsComparedBeforeTheFileIsOpenedForReading) {
  std::string content = Installer(10);
  ReleaseMetadata release = Describing(content);
  Staged(content + "x");
  Machine().fileSystem.HoldOpen(InstallerPath, os::GenericWrite, 0);
  EXPECT_EQ(Outcome([&] { VerifyInstaller(InstallerPath, release); }), "Installer size mismatch");
}

TEST(VerifyInstallerTest, AnInstallerHeldOpenWithoutReadSharingCannotBeRead) {
  std::string content = Installer(10);
  Staged(content);
  Machine().fileSystem.HoldOpen(InstallerPath, os::GenericWrite, os::FileShareWrite);
  EXPECT_EQ(Outcome([&] { VerifyInstaller(InstallerPath, Describing(content)); }), "Installer cannot be read");
}

// An installer that changes after its size was taken, as the reading loop
// sees it.
struct ChangingFileCase {
  const char* name;
  std::size_t sizeWhenRead;
  const char* failure;
};

class ChangingInstallerTest : public testing::TestWithParam<ChangingFileCase> {};

TEST_P(ChangingInstallerTest, EndsAtExactlyTheDescribedSize) {
  std::string described = Installer(131072);
  Staged(described);
  std::string changed = Installer(GetParam().sizeWhenRead);
  Machine().fileSystem.beforeRead = [&changed](fake::FakeFile& file) {
    if (file.contents != changed) file.contents = changed;
  };
  EXPECT_EQ(Outcome([&] { VerifyInstaller(InstallerPath, Describing(described)); }), GetParam().failure);
}

INSTANTIATE_TEST_SUITE_P(Files, ChangingInstallerTest,
                         testing::Values(ChangingFileCase{"Exact", 131072, ""},
                                         ChangingFileCase{"GrewByOneByte", 131073, "Installer changed while reading"},
                                         ChangingFileCase{"GrewByAChunk", 196608, "Installer changed while reading"},
                                         ChangingFileCase{"ShrankByOneByte", 131071, "Installer read was incomplete"},
                                         ChangingFileCase{"BecameEmpty", 0, "Installer read was incomplete"}),
                         [](const auto& info) { return info.param.name; });

TEST(VerifyInstallerTest, AReadErrorAfterTheFirstChunkIsAnIncompleteRead) {
  std::string content = Installer(131072);
  Staged(content);
  int reads = 0;
  Machine().fileSystem.beforeRead = [&reads](fake::FakeFile&) {
    if (++reads == 2) Machine().fileSystem.readFileResult = 23;
  };
  EXPECT_EQ(Outcome([&] { VerifyInstaller(InstallerPath, Describing(content)); }), "Installer read was incomplete");
}

}  // namespace
}  // namespace ostrel
