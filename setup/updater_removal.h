// "--uninstall": announces the removal, stops and deletes the service once no
// update is being applied.
#pragma once

namespace ostrel {

void RemoveUpdater();

}  // namespace ostrel
