#include "inspect/installation_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <exception>
#include <string>

#include "build_configuration.h"
#include "fake_os/fake_machine.h"
#include "os/security_descriptor.h"

namespace ostrel {
namespace {

using namespace fake;
using testing::ElementsAre;
using testing::HasSubstr;

constexpr std::u16string_view Application = u"C:\\Program Files\\Ostrel";
constexpr std::u16string_view LegacyExecutable = u"C:\\Program Files\\Ostrel\\Ostrel.exe";
constexpr std::u16string_view LegacyUninstaller = u"C:\\Program Files\\Ostrel\\Uninstall Ostrel.exe";
constexpr std::u16string_view Browser = u"C:\\Program Files\\Ostrel\\Application\\chrome.exe";
constexpr std::u16string_view Registered = u"\"C:\\Program Files\\Ostrel\\Uninstall Ostrel.exe\" /allusers";

constexpr const char* Neither = "{\"readOnly\":true,\"legacy\":false,\"running\":false}\r\n";
constexpr const char* LegacyIdle = "{\"readOnly\":true,\"legacy\":true,\"running\":false}\r\n";
constexpr const char* LegacyRunning = "{\"readOnly\":true,\"legacy\":true,\"running\":true}\r\n";
constexpr const char* BrowserRunning = "{\"readOnly\":true,\"legacy\":false,\"running\":true}\r\n";

class InstallationReportTest : public testing::Test {
 protected:
  struct Outcome {
    int exitCode = 1;
    std::string output;
    std::string failure;
  };

  static Outcome Report() {
    Outcome outcome;
    try {
      outcome.exitCode = RunInstallationReport();
    } catch (const std::exception& failure) {
      outcome.failure = failure.what();
    }
    outcome.output = Machine().standardOutput;
    Machine().standardOutput.clear();
    return outcome;
  }

  static void ExpectFailure(const std::string& message) {
    Outcome outcome = Report();
    EXPECT_EQ(outcome.failure, message);
    EXPECT_EQ(outcome.output, "") << "a failed report wrote to standard output";
  }

  static void InstallLegacy() {
    Machine().fileSystem.AddDirectory(Application);
    Machine().fileSystem.AddFile(LegacyExecutable);
    Machine().fileSystem.AddFile(LegacyUninstaller);
  }

  static void Register(RegistryView view, std::u16string_view command) {
    Machine().registry.SetValue(view, LegacyUninstallKey, u"UninstallString", FakeRegistryValue::String(command));
  }

  static void StartProcess(std::uint32_t id, std::u16string_view imagePath) {
    std::u16string_view name = imagePath.substr(imagePath.rfind(u'\\') + 1);
    Machine().processes.running.push_back({id, std::u16string(name), std::u16string(imagePath)});
  }
};

TEST_F(InstallationReportTest, ReportsNothingWithoutAnInstallation) {
  Outcome outcome = Report();
  EXPECT_EQ(outcome.output, Neither);
  EXPECT_EQ(outcome.exitCode, 0);
  Machine().fileSystem.AddDirectory(Application);
  EXPECT_EQ(Report().exitCode, 0);
}

TEST_F(InstallationReportTest, TakesTheCodesOfANameThatCannotExistAsAbsence) {
  Machine().fileSystem.AddDirectory(Application);
  for (os::ErrorCode absent : {53u, 64u, 123u, 161u, 267u}) {
    Machine().fileSystem.AddFile(LegacyExecutable).attributesError = absent;
    Machine().fileSystem.AddFile(LegacyUninstaller).attributesError = absent;
    EXPECT_EQ(Report().output, Neither) << absent;
  }
}

TEST_F(InstallationReportTest, FailsAnExistenceTestThatFailsOtherwiseNamingThePath) {
  Machine().fileSystem.AddDirectory(Application);
  Machine().fileSystem.AddFile(LegacyExecutable).attributesError = os::ErrorAccessDenied;
  Outcome outcome = Report();
  EXPECT_THAT(outcome.failure, HasSubstr("exists"));
  EXPECT_THAT(outcome.failure, HasSubstr("C:\\Program Files\\Ostrel\\Ostrel.exe"));
  EXPECT_EQ(outcome.output, "");
}

TEST_F(InstallationReportTest, RefusesAnApplicationDirectoryOrdinaryUsersMayWrite) {
  Machine().fileSystem.AddDirectory(Application).security.dacl->push_back(Allowed(UsersSid, os::FileAppendData));
  ExpectFailure("Updater object is writable by an untrusted principal");
}

TEST_F(InstallationReportTest, RefusesHalfALegacyInstallation) {
  Machine().fileSystem.AddDirectory(Application);
  Machine().fileSystem.AddFile(LegacyExecutable);
  ExpectFailure("Incomplete legacy Ostrel installation");
  Machine().fileSystem = FakeFileSystem();
  Machine().fileSystem.AddDirectory(Application);
  Machine().fileSystem.AddFile(LegacyUninstaller);
  ExpectFailure("Incomplete legacy Ostrel installation");
}

TEST_F(InstallationReportTest, RefusesLegacyFilesOrdinaryUsersMayWrite) {
  InstallLegacy();
  Register(RegistryView::Bit64, Registered);
  Machine().fileSystem.Find(LegacyUninstaller)->security.dacl->push_back(Allowed(UsersSid, os::Delete));
  ExpectFailure("Updater object is writable by an untrusted principal");
}

TEST_F(InstallationReportTest, AcceptsTheRegistrationInEitherViewIgnoringOnlyAsciiCase) {
  for (RegistryView view : {RegistryView::Bit64, RegistryView::Bit32}) {
    for (std::u16string_view command :
         {Registered, std::u16string_view(u"\"c:\\PROGRAM FILES\\ostrel\\UNINSTALL OSTREL.EXE\" /ALLUSERS")}) {
      Machine().registry = FakeRegistry();
      InstallLegacy();
      Register(view, command);
      Outcome outcome = Report();
      EXPECT_EQ(outcome.output, LegacyIdle);
      EXPECT_EQ(outcome.exitCode, 11);
    }
  }
}

TEST_F(InstallationReportTest, RefusesARegistrationThatDiffersInAnythingButCase) {
  const std::u16string mismatches[] = {
      // The registered command up to a zero unit: the value is all the read returned.
      std::u16string(Registered) + u'\0' + u"anything",
      u"\"C:\\Program Files\\Ostrel\\Uninstall Ostrel.exe\"",
      u"\"C:\\Program Files\\Ostrel\\Uninstall Ostrel.exe\"  /allusers",
      u"\"C:/Program Files/Ostrel/Uninstall Ostrel.exe\" /allusers",
      u"C:\\Program Files\\Ostrel\\Uninstall Ostrel.exe /allusers",
      u"\"C:\\Program Files\\Ostrel\\.\\Uninstall Ostrel.exe\" /allusers",
  };
  InstallLegacy();
  ExpectFailure("Legacy Ostrel uninstaller does not match its protected registration");
  for (const std::u16string& command : mismatches) {
    Register(RegistryView::Bit64, command);
    Register(RegistryView::Bit32, command);
    ExpectFailure("Legacy Ostrel uninstaller does not match its protected registration");
  }
  Machine().registry.SetValue(RegistryView::Bit64, LegacyUninstallKey, u"UninstallString",
                              FakeRegistryValue::Dword(1));
  ExpectFailure("Legacy Ostrel uninstaller does not match its protected registration");
}

// A report cut short or lost must not end with the report's exit code.
TEST_F(InstallationReportTest, FailsWhenTheLineDoesNotReachStandardOutputWhole) {
  Machine().standardOutputResult = os::ErrorBrokenPipe;
  ExpectFailure("Write installation report (109)");

  Machine().standardOutputResult = std::nullopt;
  Machine().standardOutputLimit = 10;
  Outcome outcome = Report();
  EXPECT_EQ(outcome.failure, "Write installation report");
  EXPECT_EQ(outcome.output, std::string(Neither, 10));
}

TEST_F(InstallationReportTest, ReportsARunningBrowserWithOrWithoutALegacyInstallation) {
  StartProcess(200, Browser);
  Outcome outcome = Report();
  EXPECT_EQ(outcome.output, BrowserRunning);
  EXPECT_EQ(outcome.exitCode, 10);

  InstallLegacy();
  Register(RegistryView::Bit64, Registered);
  StartProcess(300, LegacyExecutable);
  Machine().processes.opened.clear();
  outcome = Report();
  EXPECT_EQ(outcome.output, LegacyRunning);
  EXPECT_EQ(outcome.exitCode, 10);
  // The browser settled it: the legacy executable was never looked for.
  EXPECT_THAT(Machine().processes.opened, ElementsAre(200u));
}

TEST_F(InstallationReportTest, ReportsARunningLegacyBrowser) {
  InstallLegacy();
  Register(RegistryView::Bit32, Registered);
  StartProcess(300, LegacyExecutable);
  Outcome outcome = Report();
  EXPECT_EQ(outcome.output, LegacyRunning);
  EXPECT_EQ(outcome.exitCode, 10);
}

TEST_F(InstallationReportTest, FailsWhenTheProcessListCannotBeTaken) {
  Machine().processes.snapshotFailure = 8;
  ExpectFailure("List browser processes (8)");
}

}  // namespace
}  // namespace ostrel
