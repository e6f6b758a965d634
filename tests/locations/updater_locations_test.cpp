#include "locations/updater_locations.h"

#include <gtest/gtest.h>

#include "fake_os/fake_machine.h"
#include "foundation/failure.h"

namespace ostrel {
namespace {

using fake::Machine;

TEST(UpdaterLocationsTest, DerivesTheDirectoriesFromTheKnownFolders) {
  Machine().programFilesFolder = u"D:\\Apps";
  Machine().programDataFolder = u"E:\\Data\\";
  EXPECT_EQ(ApplicationDirectory(), u"D:\\Apps\\Ostrel");
  EXPECT_EQ(UpdaterDirectory(), u"D:\\Apps\\Ostrel\\Updater");
  EXPECT_EQ(UpdaterDataDirectory(), u"E:\\Data\\OstrelNativeUpdater");
  EXPECT_EQ(BrowserExecutablePath(), u"D:\\Apps\\Ostrel\\Application\\chrome.exe");
  EXPECT_EQ(LegacyExecutablePath(), u"D:\\Apps\\Ostrel\\Ostrel.exe");
  EXPECT_EQ(LegacyUninstallerPath(), u"D:\\Apps\\Ostrel\\Uninstall Ostrel.exe");
  EXPECT_EQ(ApplyWorkerPath(), u"E:\\Data\\OstrelNativeUpdater\\OstrelApply.exe");
  EXPECT_EQ(PartialDownloadPath(), u"E:\\Data\\OstrelNativeUpdater\\download.partial");
}

TEST(UpdaterLocationsTest, QueriesTheKnownFolderAtEveryUse) {
  EXPECT_EQ(UpdaterDataDirectory(), u"C:\\ProgramData\\OstrelNativeUpdater");
  Machine().programDataFolder = u"D:\\ProgramData";
  EXPECT_EQ(UpdaterDataDirectory(), u"D:\\ProgramData\\OstrelNativeUpdater");
  ASSERT_EQ(Machine().knownFolderQueries.size(), 2u);
  EXPECT_EQ(Machine().knownFolderQueries[0], os::FolderIdProgramData);
  EXPECT_EQ(Machine().knownFolderQueries[1], os::FolderIdProgramData);

  EXPECT_EQ(UpdaterDirectory(), u"C:\\Program Files\\Ostrel\\Updater");
  EXPECT_EQ(Machine().knownFolderQueries.back(), os::FolderIdProgramFiles);
}

TEST(UpdaterLocationsTest, RaisesAFailedQueryAsItsHresult) {
  Machine().knownFolderResult = os::EFail;
  try {
    ApplicationDirectory();
    FAIL() << "no failure raised";
  } catch (const hresult_error& failure) {
    EXPECT_EQ(failure.code(), os::EFail);
  }
}

}  // namespace
}  // namespace ostrel
