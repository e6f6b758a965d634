#include "locations/known_folder_path.h"

#include "foundation/failure.h"

namespace ostrel {

std::u16string KnownFolderPath(const os::KnownFolderId& folder) {
  std::u16string path;
  RaiseIfFailed(os::SHGetKnownFolderPath(folder, os::KfFlagDefault, path));
  return path;
}

}  // namespace ostrel
