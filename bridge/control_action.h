// What the browser's companion extension may ask of the updater through the
// native messaging host: look for an update now ("check"), read the status
// ("status"), or stop ("stop"). The host runs as the browser's user and never
// updates anything itself: "check" and "stop" only start or stop the service,
// which does the work.
#pragma once

#include <string_view>

#include "foundation/json_access.h"

namespace ostrel {

// Performs the action, matched exactly (no trimming, no case folding), and
// returns the reply: the status document the service last published as
// "status.json", unchanged, or, before there is one, a status record
// "checking" built now and not written.
//
// In this order: the fixed location is required (that check's failures); an
// action other than the three fails with "Unsupported updater request"; a
// "check" while an update transaction is active answers a record
// "installing" at once, touching nothing; "check" fails with "Updates are
// turned off by machine policy" when ReadMachinePolicy says so, touching
// nothing; "check" and "stop" fail with
// "Ostrel is being uninstalled" during a removal, and otherwise open the
// manager ("Open update control") and the service "OstrelNativeUpdater"
// ("Open native updater") with their access and ask for the start ("Start
// native updater"; already running is done) or the stop ("Stop native
// updater"; not active is done), codes appended, without waiting. Then the
// reply: the directory and the file must pass ValidateObjectAcl and the file
// is read with ReadBoundedFile's limit of 65,536 bytes and its failures; a
// file that is not a JSON object fails in the JSON layer. A failed existence
// test raises filesystem_error "exists", and no record is built without the
// installed version.
JsonObject RunControlAction(std::u16string_view action);

}  // namespace ostrel
