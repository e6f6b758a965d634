// What the browser's companion extension may ask of the updater through the
// native messaging host: look for an update now ("check"), read the status
// ("status"), or stop ("stop"). The host runs as the browser's user and never
// updates anything itself: "check" and "stop" only start or stop the service,
// which does the work.
#pragma once

#include <string_view>

#include "foundation/json_access.h"

namespace ostrel {

// Performs the action, matched exactly, and returns the reply: the status
// document the service last published as "status.json", unchanged, or, before
// there is one, a status record "checking" built now and not written.
//
// Every action first requires the fixed location (that check's failures);
// then an action other than the three fails with "Unsupported updater
// request". The status file and its directory must pass ValidateObjectAcl and
// the file is read with ReadBoundedFile's limits and failures; a file that is
// not a JSON object fails in the JSON layer. The existence test fails with
// filesystem_error "exists", and a record cannot be built without the
// installed version.
JsonObject RunControlAction(std::u16string_view action);

}  // namespace ostrel
