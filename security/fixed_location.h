// The updater acts only from its fixed place inside the browser installation.
#pragma once

namespace ostrel {

// Returns when the running executable is "OstrelUpdate.exe" in
// UpdaterDirectory (compared with SamePath, so lexically and without regard
// to the case of A to Z) and ApplicationDirectory, UpdaterDirectory and the
// executable itself pass ValidateObjectAcl, in that order; the first failure
// is raised unchanged. Everything is resolved afresh at each call.
void RequireFixedLocation();

}  // namespace ostrel
