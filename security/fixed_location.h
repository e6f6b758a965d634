// The updater acts only from its fixed place inside the browser installation.
#pragma once

namespace ostrel {

// Fails unless the running executable is the updater at its fixed location.
void RequireFixedLocation();

}  // namespace ostrel
