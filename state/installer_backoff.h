// The pause before a release's installer is downloaded again after its
// download failed verification. The same signed metadata most likely brings
// the same wrong bytes again (a cache that still serves an older file under
// the installer's name), and a fleet of browsers each pulling the whole
// installer every few seconds is a storm no server survives. The record,
// "download.backoff.json" in the working directory, outlives the service's
// restarts; new metadata is not held back by it, so a corrected release is
// taken at once.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

// The failure to report again while the pause after the last failed
// verification of the installer of this exact release ("release.json"
// bytes) lasts; none when there is no such pause. The pause is 2 minutes
// after the first failure and doubles with each further one, up to an hour.
// A record that cannot be read, or dated in the future (the clock was set
// back), holds nothing back.
std::optional<std::string> InstallerBackoffFailure(std::string_view metadata);

// Counts one more failed verification of this release's installer (the
// first when the record names another release) with its failure's message,
// starting the next pause now. Fails with WriteProtectedFile's failures.
void RecordInstallerFailure(std::string_view metadata, std::string_view message);

// Deletes the record, once an installer has been verified.
void ForgetInstallerFailures();

}  // namespace ostrel
