// The running executable's own path.
#pragma once

#include <string>

namespace ostrel {

// The full path of the running executable exactly as the system reports it:
// no normalisation, no long-name expansion. Raises "Cannot identify updater
// image" when the query fails or the path needs 32,768 units or more.
std::u16string OwnImagePath();

}  // namespace ostrel
