// A machine with the browser and its updater installed, as setup leaves it:
// the updater at its fixed location, the browser's executable, the installed
// version recorded and the protected working directory made.
#pragma once

#include "fake_os/fake_machine.h"
#include "foundation/path_join.h"
#include "locations/updater_locations.h"
#include "security/protected_directory.h"
#include "state/registry_state.h"

namespace ostrel::test {

inline void SetInstalledVersion(std::u16string_view version) {
  fake::Machine().registry.SetValue(fake::RegistryView::Bit64, UpdaterRegistryKey, u"Version",
                                    fake::FakeRegistryValue::String(version));
}

inline void ArrangeInstalledUpdater(std::u16string_view installedVersion = u"1.0.0") {
  fake::FakeFileSystem& files = fake::Machine().fileSystem;
  files.AddDirectory(ApplicationDirectory());
  files.AddDirectory(UpdaterDirectory());
  files.AddFile(JoinPath(UpdaterDirectory(), UpdaterExecutableName), "updater image");
  files.AddDirectory(JoinPath(ApplicationDirectory(), u"Application"));
  files.AddFile(BrowserExecutablePath(), "browser image");
  SetInstalledVersion(installedVersion);
  EnsureProtectedDirectory(UpdaterDataDirectory());
}

}  // namespace ostrel::test
