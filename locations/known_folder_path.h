// The machine's known folders, as the shell reports them.
#pragma once

#include <string>

#include "os/known_folder.h"

namespace ostrel {

// The folder's path, queried afresh on every call. A failing query is raised
// as hresult_error carrying the returned HRESULT.
std::u16string KnownFolderPath(const os::KnownFolderId& folder);

}  // namespace ostrel
