// A fake machine with the updater installed at its fixed place, the browser
// version recorded and the service registered as setup leaves them: what the
// bridge's tests start from.
#pragma once

#include <string>
#include <string_view>

#include "fake_os/fake_machine.h"
#include "foundation/registry_state.h"

namespace ostrel::test {

inline constexpr std::u16string_view DataDirectory = u"C:\\ProgramData\\OstrelNativeUpdater";
inline constexpr std::u16string_view StatusPath = u"C:\\ProgramData\\OstrelNativeUpdater\\status.json";
inline constexpr std::u16string_view LockPath = u"C:\\ProgramData\\OstrelNativeUpdater\\install.lock";

inline void ArrangeInstalledUpdater() {
  fake::FakeMachine& machine = fake::Machine();
  machine.fileSystem.AddDirectory(u"C:\\Program Files\\Ostrel");
  machine.fileSystem.AddDirectory(u"C:\\Program Files\\Ostrel\\Updater");
  machine.fileSystem.AddFile(machine.moduleFileName, "MZ");
  machine.fileSystem.AddDirectory(DataDirectory);
  machine.registry.SetValue(fake::RegistryView::Bit64, UpdaterRegistryKey, u"Version",
                            fake::FakeRegistryValue::String(u"1.2.3"));
}

}  // namespace ostrel::test
