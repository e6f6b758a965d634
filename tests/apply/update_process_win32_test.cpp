// StartUpdateProcess under Wine, with the test child (feed/test_child.cpp)
// as the process it starts.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>

#include "apply/installer_environment.h"
#include "apply/update_process.h"
#include "feed/test_child.h"
#include "os/process.h"
#include "os/wait_result.h"
#include "os/win32/windows_api.h"
#include "release/sha512_hash.h"
#include "state/installer_verification.h"

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

TEST(UpdateProcessWin32Test, WaitsForTheCopyTheProcessStartedAndTakesTheProcesssOwnExitCode) {
  auto start = std::chrono::steady_clock::now();
  // The child exits at once, with its copy's process id, which is never 0.
  EXPECT_EQ(FailureOf(Child(), u"spawn 3000", true), "Native installer reported a failure");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
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

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// A copy of the test child in a directory of its own, described by release
// metadata as a published installer would be.
struct StagedChild {
  StagedChild() {
    std::filesystem::create_directories(directory);
    std::filesystem::copy_file(std::filesystem::path(Child()), path, std::filesystem::copy_options::overwrite_existing);
    std::string bytes = ReadBytes(path);
    release.version = "2.0.0";
    release.file = "ostrel-setup.exe";
    release.size = bytes.size();
    Sha512Hash hash;
    hash.Update(bytes.data(), bytes.size());
    release.sha512 = hash.Finish();
  }
  ~StagedChild() {
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
  }

  std::filesystem::path directory = std::filesystem::temp_directory_path() / "ostrel installer test";
  std::filesystem::path path = directory / "ostrel-setup.exe";
  std::filesystem::path record = directory / "environment.txt";
  ReleaseMetadata release;
};

// What CreateFileW answers a writer, or a deleter, of the file right now.
DWORD WriterOpen(const std::filesystem::path& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ::GetLastError();
  ::CloseHandle(file);
  return ERROR_SUCCESS;
}

TEST(UpdateProcessWin32Test, HoldsTheVerifiedInstallerAgainstWritersUntilItHasStartedIt) {
  StagedChild installer;
  os::Handle verified = OpenVerifiedInstaller(installer.path.u16string(), installer.release);
  EXPECT_EQ(WriterOpen(installer.path), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(::DeleteFileW(installer.path.c_str()));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

  // The system can still start the file the worker holds.
  std::u16string environment;
  ASSERT_EQ(os::GetEnvironmentStrings(environment), std::nullopt);
  RunInstaller(installer.path.u16string(), u"exit 0", std::move(verified), environment);
  EXPECT_EQ(WriterOpen(installer.path), static_cast<DWORD>(ERROR_SUCCESS));
}

TEST(UpdateProcessWin32Test, RefusesToVerifyAnInstallerSomeoneHoldsOpenForWriting) {
  StagedChild installer;
  HANDLE writer = ::CreateFileW(installer.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  std::string failure;
  try {
    OpenVerifiedInstaller(installer.path.u16string(), installer.release);
  } catch (const std::runtime_error& error) {
    failure = error.what();
  }
  EXPECT_EQ(failure, "Installer cannot be read");
  ::CloseHandle(writer);
}

TEST(UpdateProcessWin32Test, GivesTheInstallerItsTemporaryDirectoryAndOtherwiseTheCallersEnvironment) {
  StagedChild installer;
  std::u16string own;
  ASSERT_EQ(os::GetEnvironmentStrings(own), std::nullopt);
  std::u16string temporary = (installer.directory / "installer-temp").u16string();
  std::u16string environment = WithTemporaryDirectory(own, temporary);
  os::Handle verified = OpenVerifiedInstaller(installer.path.u16string(), installer.release);
  RunInstaller(installer.path.u16string(), u"record-environment \"" + installer.record.u16string() + u"\"",
               std::move(verified),
               environment);

  std::string bytes = ReadBytes(installer.record);
  std::u16string recorded(bytes.size() / 2, u'\0');
  bytes.copy(reinterpret_cast<char*>(recorded.data()), recorded.size() * 2);
  // Every string the worker gave reaches the installer (Wine may add some of
  // its own), the temporary directory among them.
  for (std::size_t begin = 0; environment[begin] != u'\0'; begin = environment.find(u'\0', begin) + 1) {
    std::u16string entry = environment.substr(begin, environment.find(u'\0', begin) + 1 - begin);
    EXPECT_TRUE(recorded.starts_with(entry) || recorded.find(u'\0' + entry) != std::u16string::npos)
        << std::string(entry.begin(), entry.end());
  }
  EXPECT_NE(recorded.find(u"TEMP=" + temporary + u'\0'), std::u16string::npos);
  EXPECT_NE(recorded.find(u"TMP=" + temporary + u'\0'), std::u16string::npos);
}

TEST(UpdateProcessWin32Test, GivesTheChildNoHandleOfTheParent) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE event = ::CreateEventW(&inheritable, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  std::string value = std::to_string(reinterpret_cast<std::uintptr_t>(event));
  std::u16string probe = u"probe-handle " + std::u16string(value.begin(), value.end());

  // The probe sees the handle when inheritance is asked for...
  os::ProcessInformation inheriting;
  ASSERT_EQ(os::CreateProcess(Child(), u"\"" + Child() + u"\" " + probe, true, os::CreateNoWindow, std::nullopt,
                              u"C:\\", {}, inheriting),
            std::nullopt);
  ASSERT_EQ(os::WaitResult(inheriting.process, 30000), os::WaitObject0);
  std::uint32_t exitCode = 0;
  ASSERT_EQ(os::GetExitCodeProcess(inheriting.process, exitCode), std::nullopt);
  ASSERT_EQ(exitCode, 1u);
  // ...and a launch of the updater never asks for it.
  EXPECT_EQ(FailureOf(Child(), probe, true), "");
  ::CloseHandle(event);
}

}  // namespace
}  // namespace ostrel
