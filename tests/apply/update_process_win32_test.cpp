// StartUpdateProcess under Wine, with the test child (feed/test_child.cpp)
// as the process it starts.
#include "apply/update_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>

#include "feed/test_child.h"
#include "os/process.h"
#include "os/win32/windows_api.h"

namespace ostrel {
namespace {

std::u16string Child() { return test::TestChildPath(); }

std::string FailureOf(std::u16string_view path, std::u16string_view arguments, bool wait) {
  try {
    StartUpdateProcess(path, arguments, wait);
    return "";
  } catch (const std::runtime_error& failure) {
    return failure.what();
  }
}

TEST(UpdateProcessWin32Test, RequiresExitCodeZeroWhenWaiting) {
  EXPECT_EQ(FailureOf(Child(), u"exit 0", true), "");
  EXPECT_EQ(FailureOf(Child(), u"exit 3", true), "Native installer reported a failure");
}

TEST(UpdateProcessWin32Test, ReturnsAtOnceWithoutWaiting) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(FailureOf(Child(), u"sleep 6000", false), "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
}

TEST(UpdateProcessWin32Test, FailsForAMissingExecutableWithItsCode) {
  EXPECT_EQ(FailureOf(u"C:\\missing-setup.exe", u"/S", true), "Start authenticated update (2)");
  // The working directory is checked first.
  EXPECT_EQ(FailureOf(u"C:\\missing directory\\setup.exe", u"/S", true), "Start authenticated update (267)");
}

TEST(UpdateProcessWin32Test, PassesAPathWithBlanksAsOneArgumentAndRunsInItsDirectory) {
  std::filesystem::path directory = std::filesystem::temp_directory_path() / "ostrel launch test";
  std::filesystem::create_directories(directory);
  std::filesystem::path copy = directory / "test child.exe";
  std::filesystem::copy_file(std::filesystem::path(Child()), copy,
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::path record = std::filesystem::temp_directory_path() / "ostrel-launch-record.txt";

  std::u16string path = copy.u16string();
  EXPECT_EQ(FailureOf(path, u"record " + record.u16string() + u" /S /NATIVEUPDATE", true), "");

  std::ifstream file(record, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::u16string text(bytes.size() / 2, u'\0');
  bytes.copy(reinterpret_cast<char*>(text.data()), text.size() * 2);
  EXPECT_EQ(text, path + u"\n/S\n/NATIVEUPDATE\n" + directory.u16string());
  file.close();
  // Wine may hold the image of a process that has just ended a moment
  // longer; what is left is overwritten by the next run.
  std::error_code ignored;
  std::filesystem::remove(record, ignored);
  std::filesystem::remove_all(directory, ignored);
}

TEST(UpdateProcessWin32Test, GivesTheChildNoHandleOfTheParent) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE event = ::CreateEventW(&inheritable, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  std::string value = std::to_string(reinterpret_cast<std::uintptr_t>(event));
  std::u16string probe = u"probe-handle " + std::u16string(value.begin(), value.end());

  // The probe sees the handle when inheritance is asked for...
  os::ProcessInformation inheriting;
  ASSERT_EQ(os::CreateProcess(Child(), u"\"" + Child() + u"\" " + probe, true, os::CreateNoWindow, u"C:\\", {},
                              inheriting),
            os::ErrorSuccess);
  ASSERT_EQ(os::WaitForSingleObject(inheriting.process, 30000), os::WaitObject0);
  std::uint32_t exitCode = 0;
  ASSERT_EQ(os::GetExitCodeProcess(inheriting.process, exitCode), os::ErrorSuccess);
  ASSERT_EQ(exitCode, 1u);
  // ...and a launch of the updater never asks for it.
  EXPECT_EQ(FailureOf(Child(), probe, true), "");
  ::CloseHandle(event);
}

}  // namespace
}  // namespace ostrel
