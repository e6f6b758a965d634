// A machine with the browser 1.0.0 and its updater installed, on which the
// service process runs as LocalSystem from the updater's fixed location.
#pragma once

#include "fake_os/fake_machine.h"
#include "foundation/path_join.h"
#include "foundation/registry_state.h"
#include "foundation/updater_locations.h"
#include "security/protected_directory.h"

namespace ostrel::test {

inline void SetInstalledVersion(std::u16string_view version) {
  fake::Machine().registry.SetValue(fake::RegistryView::Bit64, UpdaterRegistryKey, u"Version",
                                    fake::FakeRegistryValue::String(version));
}

inline void ArrangeInstalledUpdater() {
  fake::Machine().identity = fake::FakeIdentity::LocalSystem();
  fake::FakeFileSystem& files = fake::Machine().fileSystem;
  files.AddDirectory(ApplicationDirectory());
  files.AddDirectory(UpdaterDirectory());
  files.AddFile(JoinPath(UpdaterDirectory(), UpdaterExecutableName), "updater image");
  files.AddDirectory(JoinPath(ApplicationDirectory(), u"Application"));
  files.AddFile(BrowserExecutablePath(), "browser image");
  SetInstalledVersion(u"1.0.0");
  EnsureProtectedDirectory(UpdaterDataDirectory());
}

}  // namespace ostrel::test
