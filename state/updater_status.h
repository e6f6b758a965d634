// "status.json" in UpdaterDataDirectory: the one document through which the
// updater's roles, separate processes at separate times, tell the browser's
// extension what the updater is doing. Each write replaces the whole
// document in one step, so a reader sees the previous or the new document,
// never a part.
#pragma once

#include <optional>
#include <string_view>

#include "foundation/json_access.h"

namespace ostrel {

// The words of "state".
inline constexpr std::u16string_view StatusChecking = u"checking";
inline constexpr std::u16string_view StatusDownloading = u"downloading";
inline constexpr std::u16string_view StatusReady = u"ready";
inline constexpr std::u16string_view StatusUpToDate = u"up_to_date";
inline constexpr std::u16string_view StatusInstalling = u"installing";
inline constexpr std::u16string_view StatusError = u"error";

// The StatusRecord: "ok" (true), "state", "installedVersion" read from the
// registry now, then "availableVersion" and "message" (UTF-8, zero-terminated,
// converted to UTF-16) only when not empty, in that order. Fails with the
// failures of ReadInstalledVersion: no record exists without the installed
// version.
JsonObject BuildStatusRecord(std::u16string_view state, std::u16string_view availableVersion, const char* message);

// Builds the record and publishes it as "status.json": written through
// WriteProtectedFile as "status.tmp", then moved over "status.json" with
// write-through, so the document is on disk when this returns. A reader
// holding "status.json" for a moment is waited for (RetryWhileInUse). Fails
// with the failures of BuildStatusRecord and WriteProtectedFile, or with
// "Commit updater status" and the code of the move; a failure leaves the
// previous "status.json" whole.
void WriteStatus(std::u16string_view state, std::u16string_view availableVersion, const char* message);

// The published document, or none before anything was published. The
// directory and the file must pass ValidateObjectAcl; the file is read
// bounded (64 KiB) and parsed. Fails with those failures.
std::optional<JsonObject> ReadPublishedStatus();

}  // namespace ostrel
