#include "security/fixed_location.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "fake_os/fake_machine.h"
#include "foundation/failure.h"
#include "os/file_system.h"
#include "security/own_image_path.h"

namespace ostrel {
namespace {

using namespace fake;

constexpr std::u16string_view ApplicationPath = u"C:\\Program Files\\Ostrel";
constexpr std::u16string_view UpdaterPath = u"C:\\Program Files\\Ostrel\\Updater";
constexpr std::u16string_view ImagePath = u"C:\\Program Files\\Ostrel\\Updater\\OstrelUpdate.exe";

class FixedLocationTest : public testing::Test {
 protected:
  FakeFileSystem& files = Machine().fileSystem;
  FakeFile& application = files.AddDirectory(ApplicationPath);
  FakeFile& updater = files.AddDirectory(UpdaterPath);
  FakeFile& image = files.AddFile(ImagePath, "MZ");

  std::string Check() {
    try {
      RequireFixedLocation();
    } catch (const std::runtime_error& failure) {
      return failure.what();
    }
    return "";
  }
};

TEST_F(FixedLocationTest, PassesAtTheFixedPlaceWrittenInAnyCase) {
  EXPECT_EQ(Check(), "");
  Machine().moduleFileName = u"c:\\PROGRAM FILES\\ostrel\\updater\\OSTRELUPDATE.EXE";
  EXPECT_EQ(Check(), "");
  EXPECT_EQ(OwnImagePath(), Machine().moduleFileName) << "reported exactly as the system gives it";
}

TEST_F(FixedLocationTest, RefusesAnyOtherPlaceBeforeLookingAtTheDisk) {
  constexpr const char* NotInstalled = "Updater is not installed in its fixed application directory";
  for (std::u16string_view elsewhere :
       {u"C:\\ProgramData\\OstrelNativeUpdater\\OstrelUpdate.exe", u"C:\\PROGRA~1\\Ostrel\\Updater\\OstrelUpdate.exe",
        u"\\\\?\\C:\\Program Files\\Ostrel\\Updater\\OstrelUpdate.exe",
        u"C:\\Program Files\\Ostrel\\Updater\\OstrelApply.exe", u"D:\\Program Files\\Ostrel\\Updater\\OstrelUpdate.exe"}) {
    Machine().moduleFileName = elsewhere;
    EXPECT_EQ(Check(), NotInstalled);
  }
  EXPECT_TRUE(files.attributeQueries.empty());
}

TEST_F(FixedLocationTest, FollowsTheProgramFilesFolder) {
  Machine().programFilesFolder = u"D:\\Apps";
  EXPECT_EQ(Check(), "Updater is not installed in its fixed application directory");
  Machine().moduleFileName = u"D:\\Apps\\Ostrel\\Updater\\OstrelUpdate.exe";
  EXPECT_EQ(Check(), "Inspect updater path (3)") << "drive D does not exist on this machine";
}

TEST_F(FixedLocationTest, ValidatesTheApplicationDirectoryThenTheUpdaterDirectoryThenTheImage) {
  application.security.owner = SidFromString(AdministratorAccountSid);
  updater.security.dacl->push_back(Allowed(UsersSid, os::FileWriteData));
  image.attributes |= os::FileAttributeReparsePoint;
  EXPECT_EQ(Check(), "Updater object has an untrusted owner or ACL");
  application.security = TrustedSecurity();
  EXPECT_EQ(Check(), "Updater object is writable by an untrusted principal");
  updater.security = TrustedSecurity();
  EXPECT_EQ(Check(), "Updater reparse point rejected");
}

TEST_F(FixedLocationTest, RefusesAnImagePathItCannotRead) {
  Machine().moduleFileNameResult = 122;
  EXPECT_EQ(Check(), "Cannot identify updater image");
  Machine().moduleFileNameResult = std::nullopt;

  // 32,767 units fit with the terminator; 32,768 are cut.
  Machine().moduleFileName = u"C:\\" + std::u16string(32764, u'a');
  EXPECT_EQ(OwnImagePath().size(), 32767u);
  EXPECT_EQ(Check(), "Updater is not installed in its fixed application directory");
  Machine().moduleFileName += u'a';
  EXPECT_EQ(Check(), "Cannot identify updater image");
}

TEST_F(FixedLocationTest, PassesOnAFailedKnownFolderQueryAsItsHresult) {
  Machine().knownFolderResult = os::EFail;
  try {
    RequireFixedLocation();
    FAIL() << "no failure raised";
  } catch (const hresult_error& failure) {
    EXPECT_EQ(failure.code(), os::EFail);
  }
}

}  // namespace
}  // namespace ostrel
