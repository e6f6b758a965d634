// "--prepare-install": stops the updater before its executable is replaced.
#pragma once

namespace ostrel {

void PrepareReplacement();

}  // namespace ostrel
