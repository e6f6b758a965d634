// Browser detection under Wine: the test child copied to the browser's
// place, and elsewhere under the same name.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "feed/test_child.h"
#include "inspect/browser_activity.h"
#include "locations/updater_locations.h"
#include "os/process.h"
#include "os/wait_result.h"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

class BrowserActivityWin32Test : public testing::Test {
 protected:
  void TearDown() override {
    fs::remove_all(fs::path(ApplicationDirectory()));
    fs::remove_all(elsewhere);
  }

  // Copies the test child to the path and starts it sleeping.
  static os::ProcessInformation StartCopyAt(const fs::path& path) {
    fs::create_directories(path.parent_path());
    fs::copy_file(fs::path(test::TestChildPath()), path, fs::copy_options::overwrite_existing);
    std::u16string image = path.u16string();
    os::ProcessInformation started;
    EXPECT_EQ(os::CreateProcess(image, u"\"" + image + u"\" sleep 2500", false, os::CreateNoWindow, std::nullopt,
                                u"C:\\", {}, started),
              std::nullopt);
    return started;
  }

  const fs::path elsewhere = fs::temp_directory_path() / "ostrel other browser";
};

TEST_F(BrowserActivityWin32Test, SeesTheBrowserOnlyFromItsOwnPlaceAndOnlyWhileItRuns) {
  EXPECT_FALSE(IsBrowserRunning(ListProcesses()));

  os::ProcessInformation other = StartCopyAt(elsewhere / "Application" / "chrome.exe");
  EXPECT_FALSE(IsBrowserRunning(ListProcesses()));

  os::ProcessInformation browser = StartCopyAt(fs::path(BrowserExecutablePath()));
  EXPECT_TRUE(IsBrowserRunning(ListProcesses()));
  EXPECT_TRUE(IsImageRunning(ListProcesses(), (elsewhere / "Application" / "chrome.exe").u16string()));

  ASSERT_EQ(os::WaitResult(browser.process, 30000), os::WaitObject0);
  ASSERT_EQ(os::WaitResult(other.process, 30000), os::WaitObject0);
  EXPECT_FALSE(IsBrowserRunning(ListProcesses()));
}

}  // namespace
}  // namespace ostrel
