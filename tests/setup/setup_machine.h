// A machine as the browser's installer leaves it before it runs the setup
// commands: the updater's executable in place, nothing registered yet.
#pragma once

#include <map>
#include <set>
#include <string>
#include <tuple>

#include "fake_os/fake_machine.h"
#include "foundation/path_join.h"
#include "locations/updater_locations.h"

namespace ostrel::test {

inline void ArrangeUpdaterFiles() {
  fake::FakeFileSystem& files = fake::Machine().fileSystem;
  files.AddDirectory(ApplicationDirectory());
  files.AddDirectory(UpdaterDirectory());
  files.AddFile(JoinPath(UpdaterDirectory(), UpdaterExecutableName), "updater image");
}

// What a setup command may change: the files with their contents, the
// registry, and the services with their configuration and state.
inline auto MachineState() {
  std::map<std::u16string, std::string> files;
  for (const auto& [key, file] : fake::Machine().fileSystem.files) files[key] = file->contents;
  std::map<std::u16string, std::tuple<int, std::u16string, bool>> services;
  for (const auto& [name, service] : fake::Machine().services.services) {
    services[name] = {static_cast<int>(service.state), service.configuration.binaryPathName,
                      service.markedForDeletion};
  }
  return std::tuple(files, fake::Machine().registry.keys, services);
}

}  // namespace ostrel::test
