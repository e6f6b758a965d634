#include "state/installer_backoff.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fake_os/fake_machine.h"
#include "foundation/path_join.h"
#include "locations/updater_locations.h"

namespace ostrel {
namespace {

using fake::Machine;

constexpr std::string_view Release = R"({"version":"1.2.0"})";
constexpr std::string_view OtherRelease = R"({"version":"1.2.1"})";
constexpr const char* Mismatch = "Installer SHA-512 mismatch";

class InstallerBackoffTest : public testing::Test {
 protected:
  void SetUp() override { Machine().fileSystem.AddDirectory(u"C:\\ProgramData\\OstrelNativeUpdater"); }

  // How long after the last recorded failure the release is held back, to
  // the second.
  static std::uint64_t PauseSeconds() {
    std::uint64_t seconds = 0;
    while (InstallerBackoffFailure(Release)) {
      fake::PassTime(1000);
      ++seconds;
    }
    return seconds;
  }
};

TEST_F(InstallerBackoffTest, HoldsTheReleaseBackTwoMinutesDoublingToAnHour) {
  EXPECT_EQ(InstallerBackoffFailure(Release), std::nullopt) << "nothing failed yet";
  for (const std::uint64_t expected : {120u, 240u, 480u, 960u, 1920u, 3600u, 3600u}) {
    RecordInstallerFailure(Release, Mismatch);
    EXPECT_EQ(InstallerBackoffFailure(Release), Mismatch);
    EXPECT_EQ(PauseSeconds(), expected);
  }
}

// A corrected release is new metadata: it is downloaded at once, and its
// own failures count from one.
TEST_F(InstallerBackoffTest, HoldsBackOnlyTheReleaseWhoseInstallerFailed) {
  RecordInstallerFailure(Release, Mismatch);
  RecordInstallerFailure(Release, Mismatch);
  EXPECT_EQ(InstallerBackoffFailure(OtherRelease), std::nullopt);
  RecordInstallerFailure(OtherRelease, "Installer size mismatch");
  EXPECT_EQ(InstallerBackoffFailure(Release), std::nullopt);
  EXPECT_EQ(InstallerBackoffFailure(OtherRelease), "Installer size mismatch");
  RecordInstallerFailure(Release, Mismatch);
  EXPECT_EQ(PauseSeconds(), 120u);
}

TEST_F(InstallerBackoffTest, HoldsNothingBackOnceForgottenOrWhenTheRecordCannotBeTrusted) {
  const std::u16string record = JoinPath(UpdaterDataDirectory(), InstallerBackoffName);
  RecordInstallerFailure(Release, Mismatch);
  ForgetInstallerFailures();
  EXPECT_EQ(Machine().fileSystem.Find(record), nullptr);
  EXPECT_EQ(InstallerBackoffFailure(Release), std::nullopt);

  RecordInstallerFailure(Release, Mismatch);
  Machine().fileSystem.Find(record)->contents = "{\"release\":";
  EXPECT_EQ(InstallerBackoffFailure(Release), std::nullopt) << "unreadable";

  // A clock set back would otherwise hold the release for as long as it
  // takes to reach the recorded time again.
  RecordInstallerFailure(Release, Mismatch);
  Machine().bootFileTime -= 24ULL * 3600 * 10'000'000;
  EXPECT_EQ(InstallerBackoffFailure(Release), std::nullopt) << "dated in the future";
}

}  // namespace
}  // namespace ostrel
