#include "os/known_folder.h"

#include "fake_os/fake_machine.h"

namespace ostrel::os {

using fake::Machine;

HResult SHGetKnownFolderPath(const KnownFolderId& folder, std::uint32_t, std::u16string& path) {
  Machine().knownFolderQueries.push_back(folder);
  if (Machine().knownFolderResult < 0) return Machine().knownFolderResult;
  if (folder == FolderIdProgramFiles) {
    path = Machine().programFilesFolder;
  } else if (folder == FolderIdProgramData) {
    path = Machine().programDataFolder;
  } else {
    return EInvalidArg;
  }
  return SOk;
}

}  // namespace ostrel::os
